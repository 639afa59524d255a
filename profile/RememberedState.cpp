#include "profile/RememberedState.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "profile/Profile.h"

namespace quorlin {

namespace {

const QString kRecentGroup = QStringLiteral("Recent File List");
const QString kWindowGroup = QStringLiteral("MainWindow");
const QString kFoldersGroup = QStringLiteral("Folders");
const QString kConvertGroup = QStringLiteral("Convert");

QString RecentKey(int index) { return QStringLiteral("File%1").arg(index + 1); }

int ReadInt(const QSettings& settings, const QString& key, bool* ok) {
    return settings.value(key).toInt(ok);
}

}  // namespace

QStringList ReadRecentFiles() {
    QSettings settings = OpenProfile();
    settings.beginGroup(kRecentGroup);
    QStringList paths;
    for (int i = 0; i < kMaxRecentFiles; ++i) {
        const QString path = settings.value(RecentKey(i)).toString();
        if (!path.isEmpty() && !paths.contains(path)) paths << path;
    }
    return paths;
}

void WriteRecentFiles(const QStringList& paths) {
    QSettings settings = OpenProfile();
    settings.beginGroup(kRecentGroup);
    for (int i = 0; i < kMaxRecentFiles; ++i) {
        if (i < paths.size()) settings.setValue(RecentKey(i), paths[i]);
        else settings.remove(RecentKey(i));
    }
}

QStringList WithRecentFile(QStringList paths, const QString& path) {
    paths.removeAll(path);
    paths.prepend(path);
    while (paths.size() > kMaxRecentFiles) paths.removeLast();
    return paths;
}

std::optional<WindowPlacement> ReadWindowPlacement() {
    QSettings settings = OpenProfile();
    settings.beginGroup(kWindowGroup);
    bool ok[4] = {};
    WindowPlacement placement;
    placement.normal = QRect(ReadInt(settings, QStringLiteral("Left"), &ok[0]),
                             ReadInt(settings, QStringLiteral("Top"), &ok[1]),
                             ReadInt(settings, QStringLiteral("Width"), &ok[2]),
                             ReadInt(settings, QStringLiteral("Height"), &ok[3]));
    if (!(ok[0] && ok[1] && ok[2] && ok[3]) || placement.normal.width() <= 0 || placement.normal.height() <= 0)
        return std::nullopt;
    placement.maximized = settings.value(QStringLiteral("Maximized")).toInt() != 0;
    bool editorOk = false;
    bool logOk = false;
    const int editor = ReadInt(settings, QStringLiteral("EditorHeight"), &editorOk);
    const int log = ReadInt(settings, QStringLiteral("LogHeight"), &logOk);
    if (editorOk && logOk && editor > 0 && log > 0) placement.split = {editor, log};
    return placement;
}

void WriteWindowPlacement(const WindowPlacement& placement) {
    QSettings settings = OpenProfile();
    settings.beginGroup(kWindowGroup);
    settings.setValue(QStringLiteral("Left"), placement.normal.x());
    settings.setValue(QStringLiteral("Top"), placement.normal.y());
    settings.setValue(QStringLiteral("Width"), placement.normal.width());
    settings.setValue(QStringLiteral("Height"), placement.normal.height());
    settings.setValue(QStringLiteral("Maximized"), placement.maximized ? 1 : 0);
    if (placement.split.size() == 2) {
        settings.setValue(QStringLiteral("EditorHeight"), placement.split[0]);
        settings.setValue(QStringLiteral("LogHeight"), placement.split[1]);
    }
}

QString LastFolder(const QString& purpose) {
    QSettings settings = OpenProfile();
    settings.beginGroup(kFoldersGroup);
    const QString folder = settings.value(purpose).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void RememberFolderOf(const QString& purpose, const QString& path) {
    if (path.isEmpty()) return;
    const QFileInfo info(path);
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    QSettings settings = OpenProfile();
    settings.beginGroup(kFoldersGroup);
    settings.setValue(purpose, QDir::toNativeSeparators(folder));
}

ConvertFields ReadConvertFields() {
    QSettings settings = OpenProfile();
    settings.beginGroup(kConvertGroup);
    ConvertFields fields;
    fields.target = settings.value(QStringLiteral("Target")).toString();
    fields.targetType = settings.value(QStringLiteral("TargetType"), 0).toInt();
    fields.version = settings.value(QStringLiteral("Version")).toString();
    fields.date = settings.value(QStringLiteral("Date")).toString();
    return fields;
}

void WriteConvertFields(const ConvertFields& fields) {
    QSettings settings = OpenProfile();
    settings.beginGroup(kConvertGroup);
    settings.setValue(QStringLiteral("Target"), fields.target);
    settings.setValue(QStringLiteral("TargetType"), fields.targetType);
    settings.setValue(QStringLiteral("Version"), fields.version);
    settings.setValue(QStringLiteral("Date"), fields.date);
}

}  // namespace quorlin
