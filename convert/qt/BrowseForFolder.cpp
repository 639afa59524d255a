#include "convert/qt/BrowseForFolder.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>

namespace quorlin {

namespace {

constexpr const char* kPathBoxName = "fileNameEdit";

// The folder to open at: the given one while it exists, else the nearest
// folder above it that does, else the current folder.
QString ExistingStart(const QString& start) {
    if (start.isEmpty()) return QDir::currentPath();
    QString folder = QDir::cleanPath(QDir(QDir::fromNativeSeparators(start)).absolutePath());
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) return QDir::currentPath();
        folder = parent;
    }
    return folder;
}

// Keeps the path box showing the full path of what Choose would return: the
// selected folder, or the folder shown when nothing is selected. It leaves
// the box alone while the person types in it.
void FollowSelection(QFileDialog& dialog, QLineEdit& pathBox) {
    auto show = [&dialog, &pathBox] {
        if (pathBox.hasFocus()) return;
        const QStringList selected = dialog.selectedFiles();
        const QString path = selected.size() == 1 ? selected.constFirst() : dialog.directory().absolutePath();
        if (QFileInfo(path).isDir()) pathBox.setText(QDir::toNativeSeparators(QDir::cleanPath(path)));
    };
    // The dialog first puts the selected item's name into the box; these run
    // after it and widen the name to the full path.
    const auto views = dialog.findChildren<QAbstractItemView*>();
    for (QAbstractItemView* view : views) {
        if (!view->selectionModel()) continue;
        QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, &dialog, show);
    }
    QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog, show);
    show();
}

}  // namespace

void SetUpFolderChooser(QFileDialog& dialog, const QString& start) {
    dialog.setObjectName(QStringLiteral("browseForFolderDialog"));
    // Qt's own dialog on every platform: it has the editable path box.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDirectory(ExistingStart(start));
    if (auto* pathBox = dialog.findChild<QLineEdit*>(QLatin1String(kPathBoxName))) FollowSelection(dialog, *pathBox);
}

bool BrowseForFolder(QWidget* owner, const QString& title, QString& path) {
    QFileDialog dialog(owner, title);
    SetUpFolderChooser(dialog, path);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.constFirst().isEmpty()) return false;
    path = QDir::toNativeSeparators(QDir::cleanPath(chosen.constFirst()));
    return true;
}

}  // namespace quorlin
