#pragma once
// One machine of `quorlin-cli serve`: its engine, its port kept open with a
// receive always waiting for the controller, and what it does with each
// program that arrives: store it under its number, or, for a request, send
// the program it names after the operator's delay. It hosts its engine as
// the command line's host does, on one thread (MachineThread's) that waits
// for its messages and deadlines and hands it its turns (Park, Run).

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli/LogOutput.h"
#include "cli/serve/LogFiles.h"
#include "cli/serve/MachineLock.h"
#include "profile/ServeProfiles.h"
#include "transfer/LineMotion.h"
#include "transfer/MessagePump.h"
#include "transfer/TransferEngine.h"
#include "transfer/TransferHost.h"

namespace quorlin::cli {

// Where the machines report: one line per event on standard output, and
// each machine's log file.
struct ServeReport {
    LogOutput& events;
    LogFiles& logs;
};

class ServedMachine final : public ITransferHost {
public:
    using Clock = std::chrono::steady_clock;

    // retry: how often a port that is lost or will not open is tried again;
    // idle: how long a send may stand still before it is given up.
    ServedMachine(ServedMachineProfile profile, ServeReport report, std::chrono::milliseconds retry,
                  std::chrono::milliseconds idle);
    ~ServedMachine() override;
    ServedMachine(const ServedMachine&) = delete;
    ServedMachine& operator=(const ServedMachine&) = delete;

    const ServedMachineProfile& Profile() const { return m_profile; }
    const std::string& Name() const { return m_profile.machine.name; }

    // Opens the port and waits for the controller's first program.
    void Start();
    // Another serve serves the machine: this one leaves it alone and ends.
    bool Refused() const { return m_bRefused; }

    // Around its thread's wait: the handle it waits on; Park before it
    // (false when a message is queued: the wait must not block); the time by
    // which the machine must have its turn even without a message.
    PumpWake::Handle WakeHandle() { return m_pump.Wake().NativeHandle(); }
    bool WakeIsValid() { return m_pump.Wake().IsValid(); }
    bool Park();
    void Unpark() { m_pump.Unpark(); }
    // The wait saw the handle ready: takes the wake-up.
    void TakeWake() { m_pump.Wake().Clear(); }
    std::optional<Clock::time_point> Deadline() const;
    // The machine's turn after the wait: its messages, its timers, the ends
    // of its transfers.
    void Run();

    // A program is on the line, or a request waits to be answered.
    bool Busy() const;
    // Ends the running transfer with its own cancel (a receive still
    // waiting for its program ends without a word to the controller); true
    // when the controller is owed bytes (a cancelled receive's SUB), for
    // FlushPort.
    bool Stop();
    // Waits, bounded by the line time, until what was written has left.
    void FlushPort() { m_engine->FlushPort(); }

    // ITransferHost.
    size_t LogLength() const override { return m_nLogLength; }
    void EraseLogFront(size_t count) override { m_nLogLength -= std::min(count, m_nLogLength); }
    void AppendLogText(std::string_view text) override;
    void ClearLog() override {}
    const CommSettings& Settings() const override { return m_settings; }
    void CreateProgress(ProgressKind, const std::string&, const std::string&, const std::string&) override {}
    void SetProgressRange(uint64_t) override {}
    void SetProgressPos(uint64_t) override {}
    void SetByteCount(uint64_t) override {}
    void DestroyProgress() override {}
    void ShowMessage(const std::string& text, const std::string& caption, MessageBoxIcon icon) override;
    void ShowPortOpenFailure(const std::string& text, const std::string& caption, const PortFailure& why) override;
    void ShowFileOpenFailure(const std::string& text, const std::string& caption, const FileFailure& why) override;
    void Post(unsigned message, uintptr_t wParam, intptr_t lParam) override;

private:
    enum class Phase {
        Receiving,  // a receive waits for (or takes) the controller's program; a request's send may wait for m_sendAt
        Sending,    // the requested program goes out
        Settling,   // it was handed over: the line carries the rest before the port reopens
        Down,       // the port is lost or would not open; tried again at m_retryAt
    };

    // The receive file as the file system has it, links not followed.
    struct FileIdentity {
        uint64_t device = 0, inode = 0;
        bool operator==(const FileIdentity&) const = default;
    };

    static std::optional<FileIdentity> RegularFileIdentity(const std::string& path);
    // Takes the machine's lock before its folder is touched; false when
    // the machine is not to be served now (refused, or tried again later).
    bool HoldMachine();
    void StartReceive();
    // A byte of a program has come since the receive began.
    bool ProgramComing() const;
    void StartSend();
    // The send has not moved for the idle limit: it is given up.
    bool SendStalled(Clock::time_point now);
    void ReceiveEnded();
    void SendEnded();
    void TakeProgram();
    // A request's program to send; nothing, with the failure's event, when
    // it names none or none of the send folders holds it.
    std::optional<std::string> RequestedFile(const std::string& text, std::string& failure);
    void GoDown(bool port);
    // What a receive that did not complete left in the receive file is kept
    // under a name of its own ("received-...SUFFIX"); nothing left, nothing
    // kept. The path kept, or empty.
    std::string KeepReceived(const char* suffix);
    void Event(const std::string& text);
    // The log line of a serve event, in the log's form.
    void Note(const std::string& text);
    void WriteLog();
    std::string Why(const char* otherwise) const;

    ServedMachineProfile m_profile;
    ServeReport m_report;
    const std::chrono::milliseconds m_retry;
    const std::chrono::milliseconds m_idle;
    const std::string m_receivePath;  // the file every receive goes to before it is named
    CommSettings m_settings;

    Phase m_phase = Phase::Down;
    Clock::time_point m_timer{};  // Settling, Down: the next step's time
    Clock::time_point m_settleLimit{};
    bool m_bServed = false;  // the port opened once: a later opening is "port back"
    bool m_bDown = false;    // "port lost" (or the first failure) was reported
    bool m_bPortDown = false;  // and it was the port's
    std::string m_sendPath;
    std::optional<Clock::time_point> m_sendAt;  // a request's send waits for this time, and for no program on the line
    LineMotion m_sendMotion;  // when the running send last moved
    MachineLock m_lock;
    bool m_bRefused = false;
    std::optional<FileIdentity> m_receiveId;  // the file the running receive writes
    uint64_t m_nStepsAtReceive = 0;  // the engine's count when the receive began: more, and a program is coming

    std::string m_lastWhy;  // the last message the engine showed
    bool m_bPortFailed = false;
    size_t m_nLogLength = 0;
    std::string m_logPending;

    MessagePump m_pump;  // before the engine: the port's threads post to it until the engine is gone
    std::unique_ptr<TransferEngine> m_engine;
};

}  // namespace quorlin::cli
