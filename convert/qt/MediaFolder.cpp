#include "convert/qt/MediaFolder.h"

#include <QDir>
#include <QStorageInfo>

#include "convert/Paths.h"
#include "convert/qt/CoreText.h"

namespace quorlin {

namespace {

QString WithSeparator(const QString& path) {
    return FromCoreText(AddTrailingBackslash(ToCorePath(QDir::toNativeSeparators(path))));
}

#ifndef _WIN32
QString UserName() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) user = QDir::home().dirName();
    return user;
}

// A folder left behind by a medium that was pulled out is not a mount point.
bool IsMountPoint(const QString& path) {
    const QStorageInfo storage(path);
    return storage.isValid() && QDir(storage.rootPath()) == QDir(path);
}
#endif

}  // namespace

QString DefaultBatchFolder(const QStringList& mediaRoots, const QString& home,
                           const std::function<bool(const QString&)>& isMountPoint) {
    for (const QString& root : mediaRoots) {
        const QDir dir(root);
        const QStringList media = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& medium : media) {
            const QString path = dir.filePath(medium);
            if (isMountPoint(path)) return WithSeparator(path);
        }
    }
    return WithSeparator(home);
}

QString DefaultBatchFolder() {
#ifdef _WIN32
    return QStringLiteral("F:\\");
#else
    const QString user = UserName();
    const QStringList roots{QStringLiteral("/media/") + user, QStringLiteral("/run/media/") + user};
    return DefaultBatchFolder(roots, QDir::homePath(), IsMountPoint);
#endif
}

}  // namespace quorlin
