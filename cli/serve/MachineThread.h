#pragma once
// One served machine on a thread of its own. Its engine's steps wait on its
// own line and its own disk: opening and closing its port, writing and
// storing its programs. A machine whose receive folder is on a slow or hung
// share, or whose adapter takes long to close, holds up no other machine's
// line.
//
// The serve loop talks to it from its own thread through two requests:
// Retire (stop once no program is on the line, for a profile that changed or
// went) and Shutdown (stop now, each transfer with its own cancel). When the
// thread has ended it signals the wake-up it was given, and the loop joins it.

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "cli/serve/ServedMachine.h"
#include "transfer/PumpWake.h"

namespace quorlin::cli {

class MachineThread {
public:
    // Starts serving at once; ended is signalled when the thread ends.
    MachineThread(ServedMachineProfile profile, ServeReport report, std::chrono::milliseconds retry,
                  std::chrono::milliseconds idle, PumpWake& ended);
    // Shuts the machine down (if it still runs) and waits for its thread.
    ~MachineThread();
    MachineThread(const MachineThread&) = delete;
    MachineThread& operator=(const MachineThread&) = delete;

    // Fixed for the life of the machine: any thread may read it.
    const ServedMachineProfile& Profile() const { return m_machine->Profile(); }
    const std::string& Name() const { return m_machine->Name(); }

    // Any thread; both return at once.
    void Retire() { Request(Ask::Retire); }
    void Shutdown() { Request(Ask::Shutdown); }
    // Retire or Shutdown was asked for: the machine is on its way out.
    bool Retiring() const { return m_ask.load() != Ask::Serve; }
    bool Ended() const { return m_bEnded.load(); }
    // Waits for the thread (after Shutdown, or once Ended).
    void Join();

private:
    enum class Ask { Serve, Retire, Shutdown };

    void Request(Ask ask);
    void Serve();
    // Waits for the machine's next message, its deadline or a request.
    void WaitForTurn();

    std::unique_ptr<ServedMachine> m_machine;
    PumpWake& m_ended;
    PumpWake m_asked;  // a request was made
    std::atomic<Ask> m_ask{Ask::Serve};
    std::atomic<bool> m_bEnded{false};
    std::thread m_thread;  // last: it starts once everything above exists
};

}  // namespace quorlin::cli
