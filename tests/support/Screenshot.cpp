#include "tests/support/Screenshot.h"

#include <QDebug>
#include <QDir>
#include <QPixmap>
#include <QWidget>

namespace quorlin::test {

void SaveScreenshot(QWidget* widget, const QString& name) {
    const QString folder = qEnvironmentVariable("QUORLIN_SCREENSHOT_DIR");
    if (folder.isEmpty() || !widget) return;
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    if (!widget->grab().save(path, "PNG")) qWarning().noquote() << "cannot save" << path;
}

}  // namespace quorlin::test
