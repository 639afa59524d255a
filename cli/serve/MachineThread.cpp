#include "cli/serve/MachineThread.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quorlin::cli {

namespace {

constexpr int kBlindLookMs = 100;

}  // namespace

MachineThread::MachineThread(ServedMachineProfile profile, ServeReport report, std::chrono::milliseconds retry,
                             std::chrono::milliseconds idle, PumpWake& ended)
    : m_machine(std::make_unique<ServedMachine>(std::move(profile), report, retry, idle)),
      m_ended(ended),
      m_thread([this] { Serve(); }) {}

MachineThread::~MachineThread() {
    Shutdown();
    Join();
}

void MachineThread::Join() {
    if (m_thread.joinable()) m_thread.join();
}

void MachineThread::Request(Ask ask) {
    // A shutdown is never turned back into a retirement.
    Ask current = m_ask.load();
    while (current != Ask::Shutdown && !m_ask.compare_exchange_weak(current, ask)) {
    }
    m_asked.Signal();
}

void MachineThread::Serve() {
    m_machine->Start();
    for (;;) {
        // Another serve has the machine: nothing of it is touched here.
        if (m_machine->Refused()) break;
        const Ask ask = m_ask.load();
        if (ask == Ask::Shutdown) {
            // The controller that is owed a cancel's SUB gets it before the
            // port closes, bounded by its line time and the port's margin.
            if (m_machine->Stop()) m_machine->FlushPort();
            break;
        }
        if (ask == Ask::Retire && !m_machine->Busy()) {
            m_machine->Stop();
            break;
        }
        WaitForTurn();
        m_machine->Run();
    }
    m_bEnded.store(true);
    m_ended.Signal();
}

void MachineThread::WaitForTurn() {
    int timeoutMs = 0;  // a message waits: only a look for a request
    if (m_machine->Park()) {
        timeoutMs = -1;
        if (const auto deadline = m_machine->Deadline()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - ServedMachine::Clock::now()).count();
            timeoutMs = static_cast<int>(std::clamp<int64_t>(left, 0, 60 * 60 * 1000));
        }
        // Without a wake-up handle (the process ran out of them) the
        // machine and the requests are looked at a few times a second.
        if (!m_asked.IsValid() || !m_machine->WakeIsValid())
            timeoutMs = timeoutMs < 0 ? kBlindLookMs : std::min(timeoutMs, kBlindLookMs);
    }
    pollfd fds[2] = {{m_machine->WakeHandle(), POLLIN, 0}, {m_asked.NativeHandle(), POLLIN, 0}};
    // An interrupted wait is one more turn, no harm: the machine looks at
    // its own state on every turn.
    const int ready = ::poll(fds, 2, timeoutMs);
    if (ready < 0 && errno != EINTR) {
        std::fprintf(stderr, "quorlin-cli serve: machine %s: poll: %s\n", Name().c_str(), std::strerror(errno));
        m_ask.store(Ask::Shutdown);
    }
    m_machine->Unpark();
    if (ready > 0 && (fds[0].revents & POLLIN)) m_machine->TakeWake();
    if (ready > 0 && (fds[1].revents & POLLIN)) m_asked.Clear();
}

}  // namespace quorlin::cli
