#include "app/Profile.h"

#include <QSettings>
#include <limits>

namespace quorlin {

namespace {

constexpr const char* kGroup = "Prop";
constexpr const char* kCommPortKey = "CommPort";
constexpr const char* kSysTypeKey = "SysType";
constexpr const char* kBaudRateKey = "BaudRate";

// A value that is not a 32-bit integer reads as missing. (QVariant's toInt
// cuts "99999999999" down to 1215752191 and calls it fine.)
int32_t ReadInteger(const QSettings& settings, const char* key) {
    bool ok = false;
    const qlonglong value = settings.value(QString::fromLatin1(key)).toLongLong(&ok);
    if (!ok || value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) return 0;
    return static_cast<int32_t>(value);
}

}  // namespace

QSettings OpenProfile() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(kProfileOrganization),
                     QString::fromLatin1(kProfileApplication));
}

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
