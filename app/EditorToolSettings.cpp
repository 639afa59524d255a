#include "app/EditorToolSettings.h"

#include <QSettings>

#include "profile/Profile.h"

namespace quorlin {

namespace {

qint64 ReadNumber(const QSettings& settings, const char* key, qint64 fallback, qint64 min, qint64 max) {
    bool ok = false;
    const qint64 value = settings.value(QString::fromLatin1(key)).toLongLong(&ok);
    return ok && value >= min && value <= max ? value : fallback;
}

bool ReadFlag(const QSettings& settings, const char* key) {
    return ReadNumber(settings, key, 0, 0, 1) == 1;
}

}  // namespace

nc::RenumberOptions ReadRenumberOptions() {
    QSettings settings = OpenProfile();
    settings.beginGroup(QStringLiteral("Renumber"));
    nc::RenumberOptions options;
    options.start = ReadNumber(settings, "Start", options.start, 0, nc::kMaxBlockNumber);
    options.step = ReadNumber(settings, "Step", options.step, 1, nc::kMaxBlockNumber);
    options.width = static_cast<int>(ReadNumber(settings, "Digits", options.width, 0, nc::kMaxNumberWidth));
    options.numberUnnumbered = ReadFlag(settings, "NumberAll");
    return options;
}

void WriteRenumberOptions(const nc::RenumberOptions& options) {
    QSettings settings = OpenProfile();
    settings.beginGroup(QStringLiteral("Renumber"));
    settings.setValue(QStringLiteral("Start"), qint64(options.start));
    settings.setValue(QStringLiteral("Step"), qint64(options.step));
    settings.setValue(QStringLiteral("Digits"), options.width);
    settings.setValue(QStringLiteral("NumberAll"), options.numberUnnumbered ? 1 : 0);
}

nc::CompareOptions ReadCompareOptions() {
    QSettings settings = OpenProfile();
    settings.beginGroup(QStringLiteral("Compare"));
    return {ReadFlag(settings, "IgnoreSpaces"), ReadFlag(settings, "IgnoreBlockNumbers")};
}

void WriteCompareOptions(const nc::CompareOptions& options) {
    QSettings settings = OpenProfile();
    settings.beginGroup(QStringLiteral("Compare"));
    settings.setValue(QStringLiteral("IgnoreSpaces"), options.ignoreSpaces ? 1 : 0);
    settings.setValue(QStringLiteral("IgnoreBlockNumbers"), options.ignoreBlockNumbers ? 1 : 0);
}

}  // namespace quorlin
