// The host's wait on Windows: the message pump's event and an event that
// the console control handler sets, in one WaitForMultipleObjects.
//
// A console control handler takes no argument, so the handler finds the
// live HostWait's events through the one hook of this file; there is one
// host, and so one HostWait, per process. The handler runs on a thread of
// its own: the hook's lock keeps the cancel event open while it is set.

#include <windows.h>

#include <mutex>

#include "cli/HostWait.h"

namespace quorlin::cli {

namespace {

// Windows ends a process some 5 s after its console was closed (or the user
// logs off) whether its handler returned or not, and at once when the
// handler returns. The handler holds the end back this long, so that the
// host can cancel the transfer (its log line written, a receive's SUB
// queued and sent); a process that finishes sooner ends the handler with it.
constexpr DWORD kCloseGraceMs = 4000;

}  // namespace

struct HostWait::State {
    HANDLE cancel = nullptr;  // manual-reset: a cancel key or event came
    bool handlerInstalled = false;
};

namespace {

struct ConsoleHook {
    std::mutex mutex;
    HostWait::State* live = nullptr;
};

ConsoleHook& Hook() {
    static ConsoleHook hook;
    return hook;
}

// Runs on a thread the system makes for the event.
BOOL WINAPI OnConsoleControl(DWORD event) {
    {
        std::lock_guard<std::mutex> lock(Hook().mutex);
        HostWait::State* state = Hook().live;
        if (!state) return FALSE;  // not ours any more: the default ends the process
        SetEvent(state->cancel);
    }
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // Closing the console, logging off, shutting down: the process ends
    // when this returns.
    Sleep(kCloseGraceMs);
    return TRUE;
}

void Unhook(HostWait::State& state) {
    if (state.handlerInstalled) SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    state.handlerInstalled = false;
    std::lock_guard<std::mutex> lock(Hook().mutex);
    if (Hook().live != &state) return;
    Hook().live = nullptr;
}

}  // namespace

HostWait::HostWait(PumpWake* messages)
    : m_state(std::make_unique<State>()),
      m_ownMessages(messages ? nullptr : std::make_unique<PumpWake>()),
      m_messages(messages ? messages : m_ownMessages.get()) {
    m_state->cancel = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        std::lock_guard<std::mutex> lock(Hook().mutex);
        Hook().live = m_state.get();
    }
    m_state->handlerInstalled = SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
}

HostWait::~HostWait() {
    Unhook(*m_state);
    if (m_state->cancel) CloseHandle(m_state->cancel);
}

void HostWait::Wake() { m_messages->Signal(); }

HostWait::Woken HostWait::Wait(int timeoutMs) {
    // The cancel event first: when both are set, the lower index is reported.
    // The pump's event is auto-reset: the wait that reports it takes it.
    const HANDLE handles[2] = {m_state->cancel, m_messages->NativeHandle()};
    const DWORD limit = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    switch (WaitForMultipleObjects(2, handles, FALSE, limit)) {
        case WAIT_OBJECT_0:
            ResetEvent(m_state->cancel);
            return Woken::Cancel;
        case WAIT_OBJECT_0 + 1: return Woken::Message;
        case WAIT_TIMEOUT: return Woken::TimedOut;
        default: return Woken::Failed;
    }
}

// A cancel that came after the run had ended, and so was never waited for,
// ends the process now, as the default would have done.
void HostWait::ReleaseCancel() {
    Unhook(*m_state);
    if (WaitForSingleObject(m_state->cancel, 0) == WAIT_OBJECT_0) ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace quorlin::cli
