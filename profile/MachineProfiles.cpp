#include "profile/MachineProfiles.h"

#include <QSettings>
#include <QStringList>

#include "profile/Profile.h"

namespace quorlin {

namespace {

// QSettings reads "a, b" as a list; a single folder is a list of one.
std::vector<std::string> TextList(const QVariant& value) {
    std::vector<std::string> list;
    for (const QString& item : value.toStringList()) {
        const QString trimmed = item.trimmed();
        if (!trimmed.isEmpty()) list.push_back(trimmed.toStdString());
    }
    return list;
}

std::string Text(const QSettings& settings, const char* key) {
    const QVariant value = settings.value(QString::fromLatin1(key));
    // A value with a comma comes as a list: it is taken whole again.
    return value.toStringList().join(QStringLiteral(", ")).trimmed().toStdString();
}

}  // namespace

MachineProfiles ReadMachineProfiles() {
    MachineProfiles profiles;
    QSettings settings = OpenProfile();
    const QString prefix = QString::fromLatin1(kMachineGroupPrefix);
    QStringList groups = settings.childGroups();
    groups.sort();
    for (const QString& group : groups) {
        if (!group.startsWith(prefix) || group.size() == prefix.size()) continue;
        settings.beginGroup(group);
        MachineEntry entry;
        entry.name = group.mid(prefix.size()).toStdString();
        entry.port = Text(settings, kMachinePortKey);
        entry.family = Text(settings, kMachineFamilyKey);
        entry.baudIndex = Text(settings, kMachineBaudIndexKey);
        entry.receiveFolder = Text(settings, kMachineReceiveFolderKey);
        entry.sendFolders = TextList(settings.value(QString::fromLatin1(kMachineSendFoldersKey)));
        settings.endGroup();
        Machine machine;
        if (auto why = ParseMachine(entry, machine))
            profiles.refused.push_back(entry.name + ": " + *why);
        else
            profiles.machines.push_back(std::move(machine));
    }
    return profiles;
}

}  // namespace quorlin
