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
#include <vector>

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
    // Lines the reading thread had to shape (where its cursor stood after
    // each piece): their layouts remember font engines of that thread.
    std::vector<int> shapedBlocks;
};

// Runs on any thread. The document is made for display in font by a plain
// text editor that does not wrap lines, laid out for it, and handed to the
// thread owner, where the editor takes it.
LoadedProgram LoadProgramDocument(const QString& path, const QFont& font, QThread* owner, LoadControl& control,
                                  qint64 maxBytes = kMaxEditableBytes);

// On the owner thread, before the editor shows the document: font engines
// are cached per thread and go with the reading thread when it ends, so the
// lines it shaped must be shaped again here.
void ForgetReaderShaping(LoadedProgram& loaded);

}  // namespace quorlin
