#pragma once
// The folder chooser of the converter dialogs: a modal directory dialog with
// a path box that always shows the folder a press on "Choose" would return,
// and in which a path may be typed.

#include <QString>

class QFileDialog;
class QWidget;

namespace quorlin {

// Shows the chooser over owner with title, opened at path (the current
// folder when path is empty). When a folder is chosen, path becomes its full
// path and true is returned; on Cancel path is left as it was.
bool BrowseForFolder(QWidget* owner, const QString& title, QString& path);

// Builds the chooser BrowseForFolder shows, for tests that drive it.
// Object name "browseForFolderDialog"; its path box is "fileNameEdit".
void SetUpFolderChooser(QFileDialog& dialog, const QString& start);

}  // namespace quorlin
