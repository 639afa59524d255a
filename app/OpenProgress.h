#pragma once
// Opening a program without freezing the window: the file is read on a
// worker thread, and its text goes into the document in slices between the
// window's events (transfers go on, the window repaints). A load that lasts
// shows its progress in a window-modal dialog whose Cancel stops it at once.

#include <QString>

#include "app/NcLoader.h"

class QPlainTextEdit;
class QWidget;

namespace quorlin {

struct OpenOutcome {
    FileResult result;
    bool cancelled = false;
    LineEnding usualBreak = LineEnding::CrLf;
};

// Reads path into the document editor shows, an empty one from
// NewProgramDocument, with the caret at its start; returns when the reading
// has ended, failed or been cancelled. On failure or Cancel the document
// holds the part that was read.
OpenOutcome LoadWithProgress(const QString& path, QPlainTextEdit& editor, QWidget* window);

}  // namespace quorlin
