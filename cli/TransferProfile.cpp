// The only file of quorlin-cli that uses Qt: the profile is Qt's settings
// store, shared with the application.

#include "cli/TransferProfile.h"

#include <QSettings>

namespace quorlin::cli {

void LoadProfileSettings(CommSettings& settings) {
    QSettings profile(QStringLiteral("Morvale CNC"), QStringLiteral("Quorlin"));
    profile.beginGroup(QStringLiteral("Prop"));
    settings.commPort = profile.value(QStringLiteral("CommPort"), 0).toInt();
    settings.sysType = profile.value(QStringLiteral("SysType"), 0).toInt();
    settings.baudRate = profile.value(QStringLiteral("BaudRate"), 0).toInt();
    profile.endGroup();
    settings.baud = settings.BaudForIndex(settings.baudRate);
}

}  // namespace quorlin::cli
