#include "profile/ServeProfiles.h"

#include <QSettings>
#include <QStringList>

#include "profile/MachineProfiles.h"
#include "profile/Profile.h"

namespace quorlin {

namespace {

std::string Text(const QSettings& settings, const char* key) {
    return settings.value(QString::fromLatin1(key)).toStringList().join(QStringLiteral(", ")).trimmed().toStdString();
}

}  // namespace

ServeProfiles ReadServeProfiles(const std::string& logFolder) {
    MachineProfiles machines = ReadMachineProfiles();
    ServeProfiles profiles;
    profiles.refused = std::move(machines.refused);
    QSettings settings = OpenProfile();
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
