#include "profile/ServeProfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include "profile/MachineProfiles.h"
#include "profile/Profile.h"

namespace quorlin {

namespace {

std::string Text(const QSettings& settings, const char* key) {
    return settings.value(QString::fromLatin1(key)).toStringList().join(QStringLiteral(", ")).trimmed().toStdString();
}

// Why the profile cannot be read as a whole, or nothing.
std::string Unreadable(const QSettings& settings) {
    const QString location = ProfileLocation();
    const QFileInfo store(location);
    const std::string path = location.toStdString();
    if (!store.exists()) return "the profile " + path + " does not exist";
    if (!store.isFile()) return "the profile " + path + " is not a regular file";
    if (QFile file(location); !file.open(QIODevice::ReadOnly))
        return "the profile " + path + " cannot be read: " + file.errorString().toStdString();
    (void)settings.childGroups();  // the file is read on first use, and only then has a status
    if (settings.status() == QSettings::FormatError) return "the profile " + path + " is not in the form of a profile";
    if (settings.status() != QSettings::NoError) return "the profile " + path + " cannot be read";
    return {};
}

}  // namespace

ServeProfiles ReadServeProfiles(const std::string& logFolder) {
    ServeProfiles profiles;
    // Before anything else reads the file: QSettings shares what it parsed
    // among the objects of one file, and only the object that parses it
    // learns that it is no profile.
    QSettings settings = OpenProfile();
    profiles.unreadable = Unreadable(settings);
    MachineProfiles machines = ReadMachineProfiles();
    profiles.refused = std::move(machines.refused);
    for (Machine& machine : machines.machines) {
        settings.beginGroup(QString::fromLatin1(kMachineGroupPrefix) + QString::fromStdString(machine.name));
        ServeEntry entry;
        entry.requestNumber = Text(settings, kServeRequestNumberKey);
        entry.namePattern = Text(settings, kServeNamePatternKey);
        entry.requestDelay = Text(settings, kServeRequestDelayKey);
        entry.logFile = Text(settings, kServeLogFileKey);
        entry.logFileSize = Text(settings, kServeLogFileSizeKey);
        for (const QString& item : settings.value(QString::fromLatin1(kServeRequestCommentsKey)).toStringList())
            if (!item.trimmed().isEmpty()) entry.requestComments.push_back(item.trimmed().toStdString());
        settings.endGroup();
        ServedMachineProfile served{std::move(machine), {}};
        const std::string defaultLog = logFolder + "/" + served.machine.name + ".log";
        if (auto why = ParseServeSettings(entry, defaultLog, served.serve))
            profiles.refused.push_back(served.machine.name + ": " + *why);
        else
            profiles.machines.push_back(std::move(served));
    }
    return profiles;
}

}  // namespace quorlin
