#pragma once
// Reads a program file into a text document away from the window's thread,
// so that a program of a few hundred megabytes neither freezes the window
// nor needs the file's bytes and its text in memory at once: the file goes
// into the document a piece at a time. Each line's break is kept in its
// block's user state (a LineEnding), where the editor finds it on saving.

#include <QString>
#include <QTextDocument>
#include <atomic>
#include <memory>

#include "app/NcFile.h"
#include "app/NcText.h"

class QFont;
class QThread;

namespace quorlin {

// Shared between the reading thread and the window: how far the reading
// is, and the window's request to stop it.
struct LoadControl {
    std::atomic<qint64> fileSize {0};
    std::atomic<qint64> bytesRead {0};
    std::atomic<bool> cancel {false};
};

struct LoadedProgram {
    FileResult result;
    bool cancelled = false;
    std::unique_ptr<QTextDocument> document;  // set when the program was read whole
    LineEnding usualBreak = LineEnding::CrLf;
};

// Runs on any thread. The document is made for display in font by a plain
// text editor that does not wrap lines, laid out for it, and handed to the
// thread owner, where the editor takes it.
LoadedProgram LoadProgramDocument(const QString& path, const QFont& font, QThread* owner, LoadControl& control,
                                  qint64 maxBytes = kMaxEditableBytes);

}  // namespace quorlin
