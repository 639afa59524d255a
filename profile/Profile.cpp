#include "profile/Profile.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <limits>

#include "serial/ProbePorts.h"

namespace quorlin {

namespace {

constexpr const char* kGroup = "Prop";
constexpr const char* kCommPortKey = "CommPort";
constexpr const char* kSysTypeKey = "SysType";
constexpr const char* kBaudRateKey = "BaudRate";
// Not in "Prop": older copies of the program read that group and keep
// its three keys' meaning.
constexpr const char* kChosenPortGroup = "ChosenPort";
constexpr const char* kChosenPortNumberKey = "Number";

// A value that is not a 32-bit integer reads as missing. (QVariant's toInt
// cuts "99999999999" down to 1215752191 and calls it fine.)
int32_t ReadInteger(const QSettings& settings, const char* key) {
    bool ok = false;
    const qlonglong value = settings.value(QString::fromLatin1(key)).toLongLong(&ok);
    if (!ok || value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) return 0;
    return static_cast<int32_t>(value);
}

// Only a regular file (or a link to one) is read or written as the
// profile: reading a named pipe there waits for a writer that never comes
// (QSettings reads its file as it is made), and a device or a folder holds
// no settings. Missing is fine: the defaults.
bool IsUsableStore() {
    const QFileInfo store(ProfileLocation());
    if (!store.exists() && !store.isSymLink()) return true;
    return store.isFile();
}

// Where a run whose profile is unusable keeps the remembered state it
// writes (window place, folders, recent files): the user's own runtime
// folder, never the unusable store.
QString StandInProfilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/quorlin-stand-in-profile.conf");
}

}  // namespace

QSettings OpenProfile() {
    if (!IsUsableStore()) return QSettings(StandInProfilePath(), QSettings::IniFormat);
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(kProfileOrganization),
                     QString::fromLatin1(kProfileApplication));
}

StoredSettings ReadProfile() {
    if (!IsUsableStore()) {
        qWarning("Quorlin: the profile %s is not a regular file; it is neither read nor written",
                 qPrintable(ProfileLocation()));
        return {};
    }
    QSettings settings = OpenProfile();
    settings.beginGroup(QString::fromLatin1(kGroup));
    StoredSettings stored;
    stored.commPort = ReadInteger(settings, kCommPortKey);
    stored.sysType = ReadInteger(settings, kSysTypeKey);
    stored.baudRate = ReadInteger(settings, kBaudRateKey);
    return stored;
}

bool WriteProfile(const StoredSettings& stored, unsigned chosenPortNumber) {
    if (!IsUsableStore()) return false;
    QSettings settings = OpenProfile();
    settings.beginGroup(QString::fromLatin1(kGroup));
    settings.setValue(QString::fromLatin1(kCommPortKey), stored.commPort);
    settings.setValue(QString::fromLatin1(kSysTypeKey), stored.sysType);
    settings.setValue(QString::fromLatin1(kBaudRateKey), stored.baudRate);
    settings.endGroup();
    settings.beginGroup(QString::fromLatin1(kChosenPortGroup));
    settings.setValue(QString::fromLatin1(kChosenPortNumberKey), chosenPortNumber);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

unsigned ReadChosenPortNumber() {
    if (!IsUsableStore()) return 0;
    QSettings settings = OpenProfile();
    settings.beginGroup(QString::fromLatin1(kChosenPortGroup));
    const int32_t number = ReadInteger(settings, kChosenPortNumberKey);
    return number > 0 && number <= static_cast<int32_t>(kHighestPortNumber) ? static_cast<unsigned>(number) : 0;
}

// Where QSettings keeps a user's native profile on this platform, found
// without making one (which would read the file).
QString ProfileLocation() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') +
           QString::fromLatin1(kProfileOrganization) + QLatin1Char('/') + QString::fromLatin1(kProfileApplication) +
           QStringLiteral(".conf");
}

}  // namespace quorlin
