#pragma once
// The command-line host of the transfer engine: the log goes to standard
// output as the log view would hold it, message boxes to standard error as
// "Caption: text", the progress window becomes a bar on standard error when
// that is a terminal, and Ctrl+C (SIGINT, SIGTERM; on Windows also
// Ctrl+Break and closing the console) is the window's Cancel. One thread:
// the engine's messages, the cancel keys and the idle deadline are all
// waited for in one wait (HostWait, one file per system).

#include <chrono>
#include <string>

#include "cli/Console.h"
#include "cli/HostWait.h"
#include "cli/LogOutput.h"
#include "transfer/LineMotion.h"
#include "transfer/MessagePump.h"
#include "transfer/TransferEngine.h"
#include "transfer/TransferHost.h"

namespace quorlin::cli {

// How a hosted transfer came to its end.
enum class RunOutcome { NotStarted, Ended, Cancelled, IdleTimeout };

class CliTransferHost final : public ITransferHost {
public:
    // Takes the cancel keys over (before any port thread exists, so that
    // on POSIX every thread inherits the blocked signals).
    explicit CliTransferHost(const CommSettings& settings);
    ~CliTransferHost() override;
    CliTransferHost(const CliTransferHost&) = delete;
    CliTransferHost& operator=(const CliTransferHost&) = delete;

    // Runs the engine's messages until the transfer that the entry
    // operation started has ended. idleSeconds 0: no time limit.
    RunOutcome RunTransfer(TransferEngine& engine, long idleSeconds);
    bool ShowedError() const { return m_bShowedError; }
    // Log bytes dropped because standard output was not being read.
    uint64_t DroppedLogBytes() const { return m_log.Dropped(); }
    // Gives the cancel keys back their default effect: after the run,
    // while the port drains, Ctrl+C ends the process at once. The log up to
    // the end line is written first (bounded, should nobody read it), so
    // that a second Ctrl+C does not cut it off.
    void ReleaseSignals() {
        FlushLogBeforeStandardError();
        m_wait.ReleaseCancel();
    }

    size_t LogLength() const override { return m_nLogLength; }
    void EraseLogFront(size_t count) override;
    void AppendLogText(std::string_view text) override;
    void ClearLog() override {}
    const CommSettings& Settings() const override { return m_settings; }
    void CreateProgress(ProgressKind kind, const std::string& portText, const std::string& systemText,
                        const std::string& path) override;
    void SetProgressRange(uint64_t total) override { m_nTotal = total; }
    void SetProgressPos(uint64_t position) override { NoteProgress(position); }
    void SetByteCount(uint64_t count) override { NoteProgress(count); }
    void DestroyProgress() override;
    void ShowMessage(const std::string& text, const std::string& caption, MessageBoxIcon icon) override;
    // The message, then the reason on a line of its own.
    void ShowPortOpenFailure(const std::string& text, const std::string& caption, const PortFailure& why) override;
    void ShowFileOpenFailure(const std::string& text, const std::string& caption, const FileFailure& why) override;
    void Post(unsigned message, uintptr_t wParam, intptr_t lParam) override;

private:
    using Clock = std::chrono::steady_clock;
    // Hands the engine the messages queued so far (not those that handling
    // them queues), so that a flooded line never keeps Ctrl+C unseen.
    void HandleQueued(TransferEngine& engine);
    void ShowWithReason(const std::string& text, const std::string& caption, const std::string& why);
    void CancelTransfer(TransferEngine& engine);
    void NoteProgress(uint64_t count);
    void DrawBar(bool force);
    void ClearBar();
    bool BarVisible() const { return m_terminal != BarTerminal::None && m_bProgressShown; }
    // Hands the log text that AppendLogText kept to the log's writer.
    void FlushLog();
    // Before a message or the bar on standard error: the log up to here is
    // written first (bounded: a reader that stalls does not hold the host).
    void FlushLogBeforeStandardError();
    // While a transfer runs, the log goes out at most every
    // kLogFlushInterval: the time until then, or -1 when nothing waits.
    int MillisecondsUntilLogFlush();

    CommSettings m_settings;
    size_t m_nLogLength = 0;
    bool m_bLogPending = false;  // log text waits to be handed to the writer
    Clock::time_point m_logPendingSince;
    bool m_bShowedError = false;

    MessagePump m_pump;  // Post comes from the port's threads
    HostWait m_wait{&m_pump.Wake()};  // woken when the pump got a message while the host was parked
    LogOutput m_log{stdout};  // after m_wait: its thread blocks the cancel keys too

    BarTerminal m_terminal = BarTerminal::None;
    size_t m_nBarWidth = 0;  // what the last bar took on a Plain console
    bool m_bProgressShown = false;
    ProgressKind m_progressKind = ProgressKind::Sending;
    uint64_t m_nTotal = 0;
    uint64_t m_nCount = 0;
    Clock::time_point m_start;
    LineMotion m_motion;  // when the transfer last moved, for the idle limit
    Clock::time_point m_lastDraw;
};

}  // namespace quorlin::cli
