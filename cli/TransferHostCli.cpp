#include "cli/TransferHostCli.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "transfer/PortFailureText.h"

namespace quorlin::cli {

namespace {

// While an idle limit is set, the line's activity is looked at this often
// even when no message comes (a slow line draining a block posts nothing).
constexpr int kActivityCheckMs = 200;

// How long log text may wait in stdout's buffer while a transfer runs. An
// Echo send logs every character; writing each one out would cost a system
// call and wake whoever reads the log, for every character on the line.
constexpr std::chrono::milliseconds kLogFlushInterval{50};

sigset_t CancelSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

std::string FormatBytes(double bytes) {
    char text[32];
    if (bytes >= 1024.0 * 1024.0)
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    else if (bytes >= 1024.0)
        std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.0f B", bytes);
    return text;
}

}  // namespace

CliTransferHost::CliTransferHost(const CommSettings& settings) : m_settings(settings) {
    const sigset_t signals = CancelSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    m_signalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_bTerminal = isatty(STDERR_FILENO) == 1;
    m_start = m_lastProgress = m_lastDraw = Clock::now();
}

void CliTransferHost::ReleaseSignals() {
    const sigset_t signals = CancelSignals();
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

CliTransferHost::~CliTransferHost() {
    if (m_signalFd >= 0) close(m_signalFd);
    if (m_wakeFd >= 0) close(m_wakeFd);
}

void CliTransferHost::EraseLogFront(size_t count) {
    // What went to standard output stays there; only the count follows the view.
    m_nLogLength -= std::min(count, m_nLogLength);
}

// The log is written out when it has waited kLogFlushInterval, before a
// message, and when the transfer ends, so that an Echo send puts its next
// character on the line before the echo reaches standard output. (On a
// terminal stdout is line-buffered, so whole lines still show at once.)
// While the bar is drawn on the terminal, text goes out at once between
// removing the bar and drawing it again.
void CliTransferHost::AppendLogText(std::string_view text) {
    if (text.empty()) return;
    m_nLogLength += text.size();
    if (!BarVisible()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        if (!m_bLogPending) m_logPendingSince = Clock::now();
        m_bLogPending = true;
        return;
    }
    ClearBar();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    DrawBar(true);
}

void CliTransferHost::FlushLog() {
    if (!m_bLogPending) return;
    m_bLogPending = false;
    std::fflush(stdout);
}

int CliTransferHost::MillisecondsUntilLogFlush() {
    if (!m_bLogPending) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_logPendingSince + kLogFlushInterval - Clock::now());
    if (left.count() > 0) return static_cast<int>(left.count());
    FlushLog();
    return -1;
}

void CliTransferHost::CreateProgress(ProgressKind kind, const std::string&, const std::string&,
                                     const std::string&) {
    m_bProgressShown = true;
    m_progressKind = kind;
    m_nTotal = 0;
    m_nCount = 0;
    m_start = m_lastProgress = Clock::now();
}

void CliTransferHost::DestroyProgress() {
    ClearBar();
    m_bProgressShown = false;
}

void CliTransferHost::ShowMessage(const std::string& text, const std::string& caption, MessageBoxIcon icon) {
    FlushLog();  // the log up to the message comes first
    ClearBar();
    if (icon == MessageBoxIcon::Error) m_bShowedError = true;
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    DrawBar(true);
}

void CliTransferHost::ShowPortOpenFailure(const std::string& text, const std::string& caption,
                                          const PortFailure& why) {
    ShowWithReason(text, caption, PortFailureAdvice(why));
}

void CliTransferHost::ShowFileOpenFailure(const std::string& text, const std::string& caption,
                                          const std::string& why) {
    ShowWithReason(text, caption, why.empty() ? why : "The file could not be opened: " + why + ".");
}

void CliTransferHost::ShowWithReason(const std::string& text, const std::string& caption, const std::string& why) {
    FlushLog();
    ClearBar();
    m_bShowedError = true;
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    if (!why.empty()) std::fprintf(stderr, "%s\n", why.c_str());
    std::fflush(stderr);
    DrawBar(true);
}

void CliTransferHost::Post(unsigned message, uintptr_t wParam, intptr_t lParam) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.emplace_back(message, wParam, lParam);
    }
    if (std::this_thread::get_id() == m_hostThread) return;
    const uint64_t one = 1;
    ssize_t ignored = write(m_wakeFd, &one, sizeof one);
    (void)ignored;
}

void CliTransferHost::NoteProgress(uint64_t count) {
    if (count != m_nCount) m_lastProgress = Clock::now();
    m_nCount = count;
    DrawBar(false);
}

void CliTransferHost::HandleQueued(TransferEngine& engine) {
    std::deque<std::tuple<unsigned, uintptr_t, intptr_t>> batch;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        batch.swap(m_queue);
    }
    for (const auto& [message, wParam, lParam] : batch) engine.HandleMessage(message, wParam, lParam);
}

void CliTransferHost::WatchActivity(const TransferEngine& engine) {
    const TransferEngine::Activity now = engine.LineActivity();
    if (now == m_lastActivity) return;
    m_lastActivity = now;
    m_lastProgress = Clock::now();
}

// As the progress window's Cancel: the engine ends the transfer, then the
// window goes away.
void CliTransferHost::CancelTransfer(TransferEngine& engine) {
    if (engine.TransferKindNow() == KindReceiveFile)
        engine.OnReceiveDlgCancel();
    else
        engine.OnSendDlgCancel();
    DestroyProgress();
}

RunOutcome CliTransferHost::RunTransfer(TransferEngine& engine, long idleSeconds) {
    if (!engine.IsTransferring()) {
        FlushLog();
        return engine.LastEndResult() == EndNone ? RunOutcome::NotStarted : RunOutcome::Ended;
    }
    const auto idleLimit = std::chrono::seconds(idleSeconds);
    m_lastProgress = Clock::now();
    m_lastActivity = engine.LineActivity();
    while (engine.IsTransferring()) {
        int timeoutMs = -1;
        if (idleSeconds > 0) {
            WatchActivity(engine);
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                m_lastProgress + idleLimit - Clock::now());
            if (left.count() <= 0) {
                CancelTransfer(engine);
                FlushLog();
                return RunOutcome::IdleTimeout;
            }
            timeoutMs = static_cast<int>(std::min<int64_t>(left.count() + 1, kActivityCheckMs));
        }
        const int flushMs = MillisecondsUntilLogFlush();
        if (flushMs >= 0 && (timeoutMs < 0 || flushMs < timeoutMs)) timeoutMs = flushMs;
        bool queued;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            queued = !m_queue.empty();
        }
        if (queued) timeoutMs = 0;  // only a look at the signals
        pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_signalFd, POLLIN, 0}};
        const int ready = poll(fds, 2, timeoutMs);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0 && !queued) continue;
        if (ready > 0 && (fds[1].revents & POLLIN)) {
            signalfd_siginfo info;
            ssize_t ignored = read(m_signalFd, &info, sizeof info);
            (void)ignored;
            CancelTransfer(engine);
            FlushLog();
            return RunOutcome::Cancelled;
        }
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            uint64_t drained;
            ssize_t ignored = read(m_wakeFd, &drained, sizeof drained);
            (void)ignored;
            queued = true;
        }
        if (queued) HandleQueued(engine);
    }
    FlushLog();
    return RunOutcome::Ended;
}

void CliTransferHost::DrawBar(bool force) {
    if (!BarVisible()) return;
    const auto now = Clock::now();
    if (!force && now - m_lastDraw < std::chrono::milliseconds(100)) return;
    m_lastDraw = now;
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    const double rate = seconds > 0.05 ? static_cast<double>(m_nCount) / seconds : 0.0;
    std::string line = "\r";
    if (m_progressKind == ProgressKind::Sending && m_nTotal > 0) {
        const uint64_t shown = std::min(m_nCount, m_nTotal);
        const int filled = static_cast<int>(30 * shown / m_nTotal);
        line += "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(30 - filled), '-') + "] ";
        char text[96];
        std::snprintf(text, sizeof text, "%" PRIu64 "/%" PRIu64 " bytes", shown, m_nTotal);
        line += text;
        if (rate > 0) {
            const long left = static_cast<long>(static_cast<double>(m_nTotal - shown) / rate + 0.5);
            std::snprintf(text, sizeof text, "  %s/s  %ld:%02ld left", FormatBytes(rate).c_str(), left / 60, left % 60);
            line += text;
        }
    } else {
        char text[96];
        std::snprintf(text, sizeof text, "%" PRIu64 " bytes  %s/s", m_nCount, FormatBytes(rate).c_str());
        line += text;
    }
    line += "\033[K";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void CliTransferHost::ClearBar() {
    if (!BarVisible()) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

}  // namespace quorlin::cli
