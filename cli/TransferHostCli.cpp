#include "cli/TransferHostCli.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "transfer/HostPace.h"
#include "transfer/PortFailureText.h"

namespace quorlin::cli {

namespace {

// While an idle limit is set, the line's activity is looked at this often
// even when no message comes (a slow line draining a block posts nothing).
constexpr int kActivityCheckMs = 200;

constexpr const char* kEraseToLineEnd = "\033[K";

// How long log text may wait before it goes to the writer while a transfer
// runs. An Echo send logs every character; writing each one out would cost a
// system call and wake whoever reads the log, for every character on the line.
constexpr std::chrono::milliseconds kLogFlushInterval{50};
// How long standard error waits for the log to be written before it, so that
// the two keep their order where both reach one terminal or file.
constexpr std::chrono::milliseconds kLogBeforeErrorWait{200};

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

CliTransferHost::CliTransferHost(const CommSettings& settings)
    : m_settings(settings), m_terminal(StandardErrorTerminal()) {
    m_start = m_lastDraw = Clock::now();
    m_motion.Moved(m_start);
}

CliTransferHost::~CliTransferHost() = default;

void CliTransferHost::EraseLogFront(size_t count) {
    // What went to standard output stays there; only the count follows the view.
    m_nLogLength -= std::min(count, m_nLogLength);
}

// The log is written out when it has waited kLogFlushInterval, before a
// message, and when the transfer ends, so that an Echo send puts its next
// character on the line before the echo reaches standard output. (On a
// POSIX terminal stdout is line-buffered, so whole lines show at once.)
// While the bar is drawn on the terminal, text goes out at once between
// removing the bar and drawing it again.
void CliTransferHost::AppendLogText(std::string_view text) {
    if (text.empty()) return;
    m_nLogLength += text.size();
    m_log.Append(text);
    if (!BarVisible()) {
        if (!m_bLogPending) m_logPendingSince = Clock::now();
        m_bLogPending = true;
        return;
    }
    ClearBar();
    m_bLogPending = true;
    FlushLogBeforeStandardError();
    DrawBar(true);
}

void CliTransferHost::FlushLog() {
    if (!m_bLogPending) return;
    m_bLogPending = false;
    m_log.Flush();
}

void CliTransferHost::FlushLogBeforeStandardError() {
    FlushLog();
    m_log.Drain(kLogBeforeErrorWait);
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
    m_start = Clock::now();
    m_motion.Moved(m_start);
}

void CliTransferHost::DestroyProgress() {
    ClearBar();
    m_bProgressShown = false;
}

void CliTransferHost::ShowMessage(const std::string& text, const std::string& caption, MessageBoxIcon icon) {
    FlushLogBeforeStandardError();  // the log up to the message comes first
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
                                          const FileFailure& why) {
    ShowWithReason(text, caption, why.text.empty() ? why.text : "The file could not be opened: " + why.text + ".");
}

void CliTransferHost::ShowWithReason(const std::string& text, const std::string& caption, const std::string& why) {
    FlushLogBeforeStandardError();
    ClearBar();
    m_bShowedError = true;
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    if (!why.empty()) std::fprintf(stderr, "%s\n", why.c_str());
    std::fflush(stderr);
    DrawBar(true);
}

void CliTransferHost::Post(unsigned message, uintptr_t wParam, intptr_t lParam) {
    // The host thread's own posts never wake it: it is not parked while it runs.
    m_pump.Post({message, wParam, lParam});
}

void CliTransferHost::NoteProgress(uint64_t count) {
    if (count != m_nCount) m_motion.Moved(Clock::now());
    m_nCount = count;
    DrawBar(false);
}

void CliTransferHost::HandleQueued(TransferEngine& engine) {
    for (const auto& [message, wParam, lParam] : m_pump.TakeAll()) engine.HandleMessage(message, wParam, lParam);
    m_pump.SetPace(PaceOf(engine));  // as the transfer is now: it may have ended
    m_pump.Handled();
}

// As the progress window's Cancel: the engine ends the transfer, then the
// window goes away.
void CliTransferHost::CancelTransfer(TransferEngine& engine) {
    if (engine.TransferKindNow() == TransferKind::ReceiveFile)
        engine.OnReceiveDlgCancel();
    else
        engine.OnSendDlgCancel();
    DestroyProgress();
}

RunOutcome CliTransferHost::RunTransfer(TransferEngine& engine, long idleSeconds) {
    if (!engine.IsTransferring()) {
        FlushLog();
        return engine.LastEndResult() == EndResult::None ? RunOutcome::NotStarted : RunOutcome::Ended;
    }
    const auto idleLimit = std::chrono::seconds(idleSeconds);
    m_motion.Restart(engine.LineActivity(), Clock::now());
    while (engine.IsTransferring()) {
        int timeoutMs = -1;
        if (idleSeconds > 0) {
            const auto now = Clock::now();
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                m_motion.Watch(engine.LineActivity(), now) + idleLimit - now);
            if (left.count() <= 0) {
                CancelTransfer(engine);
                FlushLog();
                return RunOutcome::IdleTimeout;
            }
            timeoutMs = static_cast<int>(std::min<int64_t>(left.count() + 1, kActivityCheckMs));
        }
        // The wait ends at the earliest of the deadlines that apply (-1: none).
        auto endBy = [&timeoutMs](int ms) {
            if (ms >= 0 && (timeoutMs < 0 || ms < timeoutMs)) timeoutMs = ms;
        };
        endBy(MillisecondsUntilLogFlush());
        m_pump.SetPace(PaceOf(engine));
        if (!m_pump.Park()) endBy(0);  // messages queued: only a look for a cancel
        const auto heldUntil = m_pump.HeldUntil();
        const bool held = heldUntil.has_value();
        if (held) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*heldUntil - Clock::now()).count();
            endBy(static_cast<int>(std::max<int64_t>(left, 0)));
        }
        const HostWait::Woken woken = m_wait.Wait(timeoutMs);
        m_pump.Unpark();
        if (woken == HostWait::Woken::Failed) break;
        if (woken == HostWait::Woken::Cancel) {
            // What came while wake-ups were held came before the cancel: it
            // is stored first, as it would have been without the hold.
            if (held) HandleQueued(engine);
            if (!engine.IsTransferring()) break;
            CancelTransfer(engine);
            FlushLog();
            return RunOutcome::Cancelled;
        }
        // Woken or not: a streaming host also looks when its hold is up.
        HandleQueued(engine);
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
    if (m_terminal == BarTerminal::Ansi) {
        line += kEraseToLineEnd;
    } else {
        // Blank what a longer bar before it left behind.
        const size_t width = line.size() - 1;
        if (width < m_nBarWidth) line.append(m_nBarWidth - width, ' ');
        m_nBarWidth = width;
    }
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void CliTransferHost::ClearBar() {
    if (!BarVisible()) return;
    if (m_terminal == BarTerminal::Ansi) {
        std::fprintf(stderr, "\r%s", kEraseToLineEnd);
    } else {
        std::fprintf(stderr, "\r%s\r", std::string(m_nBarWidth, ' ').c_str());
        m_nBarWidth = 0;
    }
    std::fflush(stderr);
}

}  // namespace quorlin::cli
