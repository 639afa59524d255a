#pragma once
// What the program remembers between runs besides the communication
// settings, each in a profile group of its own: the recent files ("Recent
// File List", "File1" to "File8"), the main window's place and split
// ("MainWindow"), the folder last used by each file dialog ("Folders") and
// the Convert dialog's last target, version and date ("Convert").

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <optional>

namespace quorlin {

inline constexpr int kMaxRecentFiles = 8;

// Newest first, at most kMaxRecentFiles, no empty entries.
QStringList ReadRecentFiles();
void WriteRecentFiles(const QStringList& paths);
// path put first (it leaves its old place), the oldest dropped past the limit.
QStringList WithRecentFile(QStringList paths, const QString& path);

// The main window as it was left: its normal place (without the window
// frame), whether it was maximised, the editor's and the log's heights.
struct WindowPlacement {
    QRect normal;
    bool maximized = false;
    QList<int> split;
};
// Nothing when no usable place was stored.
std::optional<WindowPlacement> ReadWindowPlacement();
void WriteWindowPlacement(const WindowPlacement& placement);

// The folder a file dialog of purpose last chose from; empty when none was
// stored or it is gone.
QString LastFolder(const QString& purpose);
// Remembers the folder that holds path (a file's, or path itself when it is a folder).
void RememberFolderOf(const QString& purpose, const QString& path);

struct ConvertFields {
    QString target;
    int targetType = 0;
    QString version;
    QString date;
};
ConvertFields ReadConvertFields();
void WriteConvertFields(const ConvertFields& fields);

}  // namespace quorlin
