#pragma once
// What the transfer engine needs from the window (or tool) that hosts it:
// the log text, the settings, the progress window, message boxes, and a
// queue on the host's own thread; and what it tells the host: that a
// transfer started or ended.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/FileError.h"
#include "serial/PortFailure.h"
#include "transfer/CommSettings.h"

namespace quorlin {

enum class ProgressKind { Sending, Receiving };
enum class MessageBoxIcon { Error, Information };

class ITransferHost {
public:
    virtual ~ITransferHost() = default;

    // The log: its length in characters, removal of its first characters,
    // appending at its end, emptying.
    virtual size_t LogLength() const = 0;
    virtual void EraseLogFront(size_t count) = 0;
    virtual void AppendLogText(std::string_view text) = 0;
    virtual void ClearLog() = 0;

    virtual const CommSettings& Settings() const = 0;
    // The engine's IsTransferring() changed to busy; called after the change,
    // so that the engine already answers as it says.
    virtual void BusyChanged(bool busy) { (void)busy; }

    // The progress window of the running transfer. Its Cancel calls the
    // engine's OnSendDlgCancel or OnReceiveDlgCancel, after which the host
    // removes the window itself; otherwise the engine destroys it.
    virtual void CreateProgress(ProgressKind kind, const std::string& portText,
                                const std::string& systemText, const std::string& path) = 0;
    virtual void SetProgressRange(uint64_t total) = 0;  // sending only
    virtual void SetProgressPos(uint64_t position) = 0;  // sending only
    virtual void SetByteCount(uint64_t count) = 0;
    virtual void DestroyProgress() = 0;

    virtual void ShowMessage(const std::string& text, const std::string& caption, MessageBoxIcon icon) = 0;
    // The port could not be opened: text is "Can not open COM<n> !", why the
    // port's reason. A host may add a line under text (PortFailureAdvice).
    virtual void ShowPortOpenFailure(const std::string& text, const std::string& caption, const PortFailure& why) {
        (void)why;
        ShowMessage(text, caption, MessageBoxIcon::Error);
    }
    // The transfer file could not be opened: text is "Can't open the file!",
    // why the reason; its text, in plain words ("it is a named pipe, not a
    // regular file", the system's text), a host may add under it.
    virtual void ShowFileOpenFailure(const std::string& text, const std::string& caption, const FileFailure& why) {
        (void)why;
        ShowMessage(text, caption, MessageBoxIcon::Error);
    }

    // Queues a message for TransferEngine::HandleMessage on the host's thread,
    // in posting order. Called from any thread; returns at once.
    virtual void Post(unsigned message, uintptr_t wParam, intptr_t lParam) = 0;
};

}  // namespace quorlin
