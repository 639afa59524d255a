#pragma once
// Opening a program without freezing the window: the file is read on a
// worker thread while the window's event loop keeps turning (transfers go
// on, the window repaints). A load that lasts shows its progress in a
// window-modal dialog whose Cancel stops it within one piece of the file.

#include <QString>

#include "app/NcLoader.h"

class QWidget;

namespace quorlin {

// Reads path for display in the editor's font; returns when the reading has
// ended, failed or been cancelled.
LoadedProgram LoadWithProgress(const QString& path, const QFont& font, QWidget* window);

}  // namespace quorlin
