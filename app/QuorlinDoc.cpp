#include "app/QuorlinDoc.h"

#include <string.h>

#include <QFile>
#include <QFileInfo>
#include <QTextDocument>

#include "app/OpenProgress.h"
#include "app/Prompts.h"
#include "app/QuorlinView.h"
#include "convert/FileError.h"
#include "res/CommandIds.h"
#include "res/StringTable.h"

namespace quorlin {

namespace {

QString Reason(const FileResult& result) {
    if (result.systemError == 0) return {};
    return QStringLiteral("\n\n") +
           str::LoadText(str::kWhySystemError).arg(QString::fromLocal8Bit(::strerror(result.systemError)));
}

constexpr qint64 kBytesPerMiB = 1024 * 1024;

// The framework's file-error text, the same table the converters show.
QString FileErrorMessage(FileErrorCause cause, const QString& path) {
    return QFile::decodeName(QByteArray::fromStdString(FileErrorText(cause, QFile::encodeName(path).toStdString())));
}

}  // namespace

CQuorlinDoc::CQuorlinDoc(CQuorlinView& view, IPrompts& prompts, QWidget* window)
    : QObject(window), m_view(view), m_prompts(prompts), m_pWindow(window) {}

QString CQuorlinDoc::Title() const {
    return m_path.isEmpty() ? str::LoadText(str::kUntitled) : QFileInfo(m_path).fileName();
}

bool CQuorlinDoc::IsModified() const { return m_view.IsModified(); }

LineEnding CQuorlinDoc::Ending() const { return m_view.UsualBreak(); }

void CQuorlinDoc::OnFileNew() {
    if (m_bOpening || !SaveModified()) return;
    NewDocument();
}

void CQuorlinDoc::OnFileOpen() {
    if (m_bOpening || !SaveModified()) return;
    const QString path = AskForFile(m_prompts, m_pWindow, FileDialogFor(cmd::kFileOpen));
    if (!path.isEmpty()) OpenDocument(path);
}

bool CQuorlinDoc::OnFileSave() {
    if (m_path.isEmpty()) return OnFileSaveAs();
    return SaveDocument(m_path);
}

bool CQuorlinDoc::OnFileSaveAs() {
    FileDialogRequest request = FileDialogFor(cmd::kFileSaveAs);
    request.initialName = m_path.isEmpty() ? QString() : m_path;
    const QString path = AskForFile(m_prompts, m_pWindow, request);
    if (path.isEmpty()) return false;
    return SaveDocument(path);
}

bool CQuorlinDoc::SaveModified() {
    if (!IsModified()) return true;
    const QString question = str::LoadText(str::kSaveChanges).arg(Title());
    switch (m_prompts.Message(m_pWindow, question, str::LoadText(str::kAppName), PromptIcon::Exclamation,
                              PromptButtons::YesNoCancel)) {
    case PromptAnswer::Yes: return OnFileSave();
    case PromptAnswer::No: return true;
    default: return false;
    }
}

void CQuorlinDoc::NewDocument() {
    m_view.SetText(QString());
    m_path.clear();
    emit titleChanged();
    emit documentReplaced();
}

bool CQuorlinDoc::OpenDocument(const QString& path) {
    if (m_bOpening) return false;
    m_bOpening = true;
    // The editor shows the program as it comes in; the one shown before is
    // kept until the new one is read whole, and comes back on failure.
    const bool wasReadOnly = m_view.isReadOnly();
    const LineEnding previousBreak = m_view.UsualBreak();
    m_view.setReadOnly(true);
    std::unique_ptr<QTextDocument> previous =
        m_view.ReplaceDocument(NewProgramDocument(m_view.font()), previousBreak);
    const OpenOutcome outcome = LoadWithProgress(path, m_view, m_pWindow);
    m_view.setReadOnly(wasReadOnly);
    m_bOpening = false;
    if (outcome.cancelled || !outcome.result.ok()) {
        m_view.ReplaceDocument(std::move(previous), previousBreak);
        // A swap of documents tells nobody of their modified flags: the
        // caption would go on showing the half-read program's.
        emit m_view.modificationChanged(m_view.IsModified());
        if (!outcome.cancelled) ShowFailure(OpenFailureText(path, outcome.result));
        return false;
    }
    m_view.SetUsualBreak(outcome.usualBreak);
    m_path = QFileInfo(path).absoluteFilePath();
    emit titleChanged();
    emit documentReplaced();
    return true;
}

bool CQuorlinDoc::SaveDocument(const QString& path) {
    int badLine = 0;
    if (m_bOpening) return false;
    const std::optional<QByteArray> bytes =
        EncodeNcLines(m_view.Text(), m_view.LineBreaks(), m_view.UsualBreak(), &badLine);
    if (!bytes) {
        ShowFailure(str::LoadText(str::kFailedToSave) + QStringLiteral("\n\n") +
                    str::LoadText(str::kWhyNotSingleByte).arg(badLine));
        return false;
    }
    const FileResult result = SaveNcFile(path, *bytes);
    if (!result.ok()) {
        ShowFailure(SaveFailureText(path, result));
        return false;
    }
    m_path = QFileInfo(path).absoluteFilePath();
    m_view.SetModified(false);
    emit titleChanged();
    return true;
}

QString CQuorlinDoc::OpenFailureText(const QString& path, const FileResult& result) {
    switch (result.failure) {
    case NcFileFailure::NotFound: return FileErrorMessage(FileErrorCause::FileNotFound, path);
    case NcFileFailure::AccessDenied: return FileErrorMessage(FileErrorCause::AccessDenied, path);
    case NcFileFailure::TooLarge:
        return str::LoadText(str::kFileTooLarge) + QStringLiteral("\n\n") +
               str::LoadText(str::kWhyTooLarge).arg(kMaxEditableBytes / kBytesPerMiB);
    case NcFileFailure::Binary:
        return str::LoadText(str::kFailedToOpen) + QStringLiteral("\n\n") + str::LoadText(str::kWhyBinary).arg(path);
    default: return str::LoadText(str::kFailedToOpen) + Reason(result);
    }
}

QString CQuorlinDoc::SaveFailureText(const QString& path, const FileResult& result) {
    switch (result.failure) {
    case NcFileFailure::AccessDenied: return FileErrorMessage(FileErrorCause::AccessDenied, path);
    case NcFileFailure::DiskFull: return FileErrorMessage(FileErrorCause::DiskFull, path);
    default: return str::LoadText(str::kFailedToSave) + Reason(result);
    }
}

void CQuorlinDoc::ShowFailure(const QString& text) {
    m_prompts.Message(m_pWindow, text, str::LoadText(str::kAppName), PromptIcon::Exclamation);
}

}  // namespace quorlin
