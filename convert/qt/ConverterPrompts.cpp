#include "convert/qt/ConverterPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

#include "convert/qt/BrowseForFolder.h"
#include "convert/qt/CoreText.h"

namespace quorlin {

QStringList SourceFileFilters() {
    // Each entry is described by its own pattern. The last is the Windows
    // "*.*", which means every file there; here "*.*" would hide the names
    // without a dot, the font file among them, so it matches "*".
    return {QStringLiteral("*.bin"), QStringLiteral("*.dat"), QStringLiteral("*.bmp"), QStringLiteral("*.* (*)")};
}

void DesktopConverterPrompts::ShowMessage(QWidget* parent, const DialogMessage& message) {
    const QMessageBox::Icon icon = message.icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Warning;
    QMessageBox box(icon, FromCoreText(message.caption), FromCoreText(message.text), QMessageBox::Ok, parent);
    box.exec();
}

std::optional<QString> DesktopConverterPrompts::ChooseSourceFile(QWidget* parent, const QString& startFolder) {
    QFileDialog dialog(parent);
    if (!startFolder.isEmpty()) dialog.setDirectory(startFolder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(SourceFileFilters());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

std::optional<QString> DesktopConverterPrompts::ChooseFolder(QWidget* parent, const QString& title,
                                                             const QString& start) {
    QString path = start;
    if (!BrowseForFolder(parent, title, path)) return std::nullopt;
    return path;
}

}  // namespace quorlin
