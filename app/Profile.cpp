#include "app/Profile.h"

#include <QSettings>

namespace quorlin {

namespace {

constexpr const char* kGroup = "Prop";
constexpr const char* kCommPortKey = "CommPort";
constexpr const char* kSysTypeKey = "SysType";
constexpr const char* kBaudRateKey = "BaudRate";

QSettings OpenProfile() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(kProfileOrganization),
                     QString::fromLatin1(kProfileApplication));
}

int32_t ReadInteger(const QSettings& settings, const char* key) {
    bool ok = false;
    const int value = settings.value(QString::fromLatin1(key)).toInt(&ok);
    return ok ? value : 0;
}

}  // namespace

StoredSettings ReadProfile() {
    QSettings settings = OpenProfile();
    settings.beginGroup(QString::fromLatin1(kGroup));
    StoredSettings stored;
    stored.commPort = ReadInteger(settings, kCommPortKey);
    stored.sysType = ReadInteger(settings, kSysTypeKey);
    stored.baudRate = ReadInteger(settings, kBaudRateKey);
    return stored;
}

bool WriteProfile(const StoredSettings& stored) {
    QSettings settings = OpenProfile();
    settings.beginGroup(QString::fromLatin1(kGroup));
    settings.setValue(QString::fromLatin1(kCommPortKey), stored.commPort);
    settings.setValue(QString::fromLatin1(kSysTypeKey), stored.sysType);
    settings.setValue(QString::fromLatin1(kBaudRateKey), stored.baudRate);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString ProfileLocation() { return OpenProfile().fileName(); }

}  // namespace quorlin
