#include "app/Prompts.h"

#include <QFileDialog>
#include <QMessageBox>

#include "profile/RememberedState.h"

namespace quorlin {

namespace {

QMessageBox::Icon BoxIcon(PromptIcon icon) {
    switch (icon) {
    case PromptIcon::Error: return QMessageBox::Critical;
    case PromptIcon::Question: return QMessageBox::Question;
    case PromptIcon::Exclamation: return QMessageBox::Warning;
    case PromptIcon::Information: break;
    }
    return QMessageBox::Information;
}

QMessageBox::StandardButtons BoxButtons(PromptButtons buttons) {
    switch (buttons) {
    case PromptButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case PromptButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case PromptButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case PromptButtons::Ok: break;
    }
    return QMessageBox::Ok;
}

}  // namespace

PromptAnswer WidgetPrompts::Message(QWidget* parent, const QString& text, const QString& caption, PromptIcon icon,
                                    PromptButtons buttons) {
    QMessageBox box(BoxIcon(icon), caption, text, BoxButtons(buttons), parent);
    box.setAccessibleName(caption);
    box.setAccessibleDescription(text);
    switch (box.exec()) {
    case QMessageBox::Ok: return PromptAnswer::Ok;
    case QMessageBox::Yes: return PromptAnswer::Yes;
    case QMessageBox::No: return PromptAnswer::No;
    default: return PromptAnswer::Cancel;
    }
}

QString WidgetPrompts::FilePath(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent, request.title);
    const bool save = request.mode == FileDialogRequest::Mode::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(request.filters);
    if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.initialFolder.isEmpty()) dialog.setDirectory(request.initialFolder);
    if (!request.initialName.isEmpty()) dialog.selectFile(request.initialName);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.front();
}

QString AskForFile(IPrompts& prompts, QWidget* parent, FileDialogRequest request) {
    if (request.purpose.isEmpty()) return prompts.FilePath(parent, request);
    if (request.initialFolder.isEmpty()) request.initialFolder = LastFolder(request.purpose);
    const QString path = prompts.FilePath(parent, request);
    RememberFolderOf(request.purpose, path);
    return path;
}

}  // namespace quorlin
