#pragma once
// The simulated controller: one event loop over its end of the line, the
// PC's opens and closes of the port, and the operator's control channel.
// It takes programs and downloads in the family's protocol, sends programs
// on command, and reports every event as one line on its report stream.

#include <csignal>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/BlockDownload.h"
#include "sim/Command.h"
#include "sim/ControlChannel.h"
#include "sim/Family.h"
#include "sim/LineTiming.h"
#include "sim/ProgramTaker.h"
#include "sim/SimPty.h"

namespace quorlin::sim {

struct SimOptions {
    int family = 0;
    int baudIndex = 0;
    std::string portsDir;
    int com = 1;
    std::string storeDir;
    bool pace = false;
    std::optional<LineSettings> line;  // overrides the family's settings for pacing
    std::string controlFifo;
    int echoTimeoutMs = 10000;  // Echo send: how long to wait for each echo
    int streamGapMs = 2000;     // a download ends after this much silence
};

class Simulator {
public:
    Simulator(const SimOptions& options, SimPty& pty, std::FILE* report);

    // Runs until "quit", until *stop is set (by a signal handler; the
    // signals stay blocked except while waiting, under `waitMask`), or until
    // standard input ends when it is the only control channel.
    // The first report line: port, device, family, line, store folder.
    void ReportReady();

    // Runs the commands given on the command line, before any wait.
    void RunStartCommands(const std::vector<std::string>& commands) {
        for (const auto& command : commands) Execute(command);
    }

    void Run(int controlFifo, bool readStdin, const sigset_t* waitMask, const volatile std::sig_atomic_t* stop);

private:
    enum class Mode { TakingProgram, SendingProgram, DownloadStream, DownloadBlocks };

    void Report(const std::string& line);
    void Execute(const std::string& line);
    void Execute(const Command& command);

    // Line I/O.
    void ReadLine(Clock::time_point now);
    void WriteLine(Clock::time_point now);
    void Enqueue(const std::uint8_t* data, std::size_t count, Clock::time_point now);
    void Enqueue(const std::vector<std::uint8_t>& bytes, Clock::time_point now) {
        Enqueue(bytes.data(), bytes.size(), now);
    }
    void EnqueueAhead(std::uint8_t control, Clock::time_point now);
    // lineEnd: when the last of the bytes finished on the line (paced: its
    // slot on the line clock; otherwise now).
    void OnReceived(const std::uint8_t* data, std::size_t count, Clock::time_point now, Clock::time_point lineEnd);
    void OnPortEvents(Clock::time_point now);
    bool InputWaiting() const;
    void RunTimers(Clock::time_point now);
    std::optional<Clock::time_point> NextTimer() const;

    // Transfers.
    void StartTransfer(Clock::time_point now);
    // onLine: when the byte finished on the line (paced: the end of its
    // slot on the line clock; otherwise now).
    void CountTransferByte(Clock::time_point now, Clock::time_point onLine);
    void FireTriggers(Clock::time_point now);
    void Fire(const Arm& arm, Clock::time_point now);
    void StoreProgram(Clock::time_point now);
    // Each file's bytes and its SUB, one file behind the other.
    void StartSend(const std::vector<std::string>& paths, Clock::time_point now);
    void SendNextEchoByte(Clock::time_point now);
    void EndSend(const std::string& outcome);
    void FinishDownload(const char* why);
    void BackToPrograms();
    void Vanish(bool hangUp);
    void ApplyLine();
    LineSettings CurrentLine() const;
    std::string StorePath(const char* stem, int number, const char* extension) const;
    bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
    long long ElapsedMicros() const;
    // From the first byte to the last on the line clock: the simulator's own
    // late wake-ups, which the clock catches up on, do not count.
    long long LineMicros() const;

    SimOptions options_;
    SimPty& pty_;
    std::FILE* report_;
    Protocol protocol_;
    bool quit_ = false;
    bool vanished_ = false;
    int pcOpeners_ = 0;
    bool pcClosePending_ = false;

    Mode mode_ = Mode::TakingProgram;
    ProgramTaker taker_;
    int programsStored_ = 0;
    int downloadsStored_ = 0;

    // Sending a program to the PC.
    std::string sendPath_;
    std::vector<std::uint8_t> sendBytes_;  // each file's bytes and SUB
    std::size_t sendPos_ = 0;              // next byte to hand over
    bool awaitingEcho_ = false;
    Clock::time_point echoDeadline_{};
    std::size_t pcSubsSinceSend_ = 0;
    bool sentSinceCommand_ = false;

    // Downloads.
    ExpectDownload download_;
    std::unique_ptr<BlockDownload> blocks_;
    std::vector<std::uint8_t> stream_;
    std::optional<Clock::time_point> splitAt_;
    std::vector<std::uint8_t> splitRest_;

    // The running transfer's byte count and timing, and the armed triggers.
    std::size_t transferBytes_ = 0;
    bool transferRunning_ = false;
    Clock::time_point transferFirst_{};
    Clock::time_point transferLast_{};
    std::optional<Clock::time_point> lineFirst_;  // the first byte's end on the line
    Clock::time_point lineLast_{};
    Clock::time_point lastReceived_{};
    std::vector<Arm> armed_;
    std::optional<Clock::time_point> resumeAt_;
    std::string awaitHandshake_;  // empty when not waiting
    bool stalled_ = false;

    // Pacing and the outgoing queue.
    LineClock rxClock_;
    LineClock txClock_;
    bool rxIdle_ = true;
    bool txLineHeld_ = false;    // the PC's side was full: a write was cut short
    std::deque<std::uint8_t> txQueue_;
    bool txBlocked_ = false;
    unsigned long long rxTotal_ = 0;
    unsigned long long txTotal_ = 0;
};

}  // namespace quorlin::sim
