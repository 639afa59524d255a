#include "convert/qt/ConverterDialog.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>

#include "convert/qt/ConverterPrompts.h"
#include "ui/DialogPlacement.h"

namespace quorlin {

qint64 SizeOfFile(const QString& path) {
    if (path.isEmpty()) return 0;
    const QFileInfo info(path);
    return info.isFile() ? info.size() : 0;
}

ConverterDialog::ConverterDialog(QWidget* mainWindow, const QString& objectName, const QString& title)
    : QDialog(mainWindow), m_pPrompts(std::make_unique<DesktopConverterPrompts>()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(objectName);
    setWindowTitle(title);
    connect(&m_job, &ConversionJob::runningChanged, this, &ConverterDialog::SetBusy);
    connect(&m_job, &ConversionJob::finished, this, &ConverterDialog::ShowOutcome);
}

ConverterDialog::~ConverterDialog() = default;

void ConverterDialog::SetPrompts(std::unique_ptr<ConverterPrompts> prompts) { m_pPrompts = std::move(prompts); }

QProgressBar* ConverterDialog::MakeProgressBar() {
    m_pProgress = new QProgressBar(this);
    m_pProgress->setObjectName(QStringLiteral("convertProgress"));
    m_pProgress->setAccessibleName(QStringLiteral("Converting"));
    m_pProgress->setRange(0, 0);  // how far a conversion has got is not known
    m_pProgress->setTextVisible(false);
    // It keeps its place while hidden, so that the dialog does not jump.
    QSizePolicy keepSpace = m_pProgress->sizePolicy();
    keepSpace.setRetainSizeWhenHidden(true);
    m_pProgress->setSizePolicy(keepSpace);
    m_pProgress->hide();
    return m_pProgress;
}

QHBoxLayout* ConverterDialog::MakeButtonRow(const QString& closeText, const char* closeObjectName,
                                            std::function<void()> onConvert) {
    auto* convert = new QPushButton(QStringLiteral("Convert"), this);
    convert->setObjectName(QStringLiteral("convertButton"));
    convert->setAccessibleName(QStringLiteral("Convert"));
    // Enter anywhere in the dialog converts; no other button is pressed by it.
    convert->setDefault(true);
    auto* close = new QPushButton(closeText, this);
    close->setObjectName(QLatin1String(closeObjectName));
    close->setAccessibleName(closeText);
    auto* row = new QHBoxLayout;
    row->addWidget(MakeProgressBar(), 1);
    row->addWidget(convert);
    row->addWidget(close);
    connect(convert, &QPushButton::clicked, this, std::move(onConvert));
    connect(close, &QPushButton::clicked, this, &ConverterDialog::reject);
    return row;
}

QPushButton* ConverterDialog::MakeBrowseButton(const char* objectName, const QString& accessibleName) {
    auto* button = new QPushButton(QStringLiteral("..."), this);
    button->setObjectName(QLatin1String(objectName));
    button->setAccessibleName(accessibleName);
    // As narrow as its three dots allow.
    button->setMaximumWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("....")) * 2);
    // Enter never opens a chooser: it is for the Convert button.
    button->setAutoDefault(false);
    return button;
}

void ConverterDialog::RunWork(ConversionJob::Work work, qint64 sourceBytes) { m_job.Run(std::move(work), sourceBytes); }

void ConverterDialog::SetBusy(bool busy) {
    if (busy) m_pFocusBefore = focusWidget();
    const QList<QWidget*> controls = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* control : controls)
        if (control != m_pProgress) control->setEnabled(!busy);
    if (m_pProgress) m_pProgress->setVisible(busy);
    if (busy) {
        setCursor(Qt::BusyCursor);
    } else {
        unsetCursor();
        if (m_pFocusBefore) m_pFocusBefore->setFocus(Qt::OtherFocusReason);
    }
}

void ConverterDialog::ShowOutcome(const ConversionOutcome& outcome) {
    for (const DialogMessage& message : outcome.messages) m_pPrompts->ShowMessage(this, message);
    emit conversionDone(outcome.finished);
}

void ConverterDialog::reject() {
    if (IsConverting()) return;
    QDialog::reject();
}

void ConverterDialog::closeEvent(QCloseEvent* event) {
    if (IsConverting()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void ConverterDialog::showEvent(QShowEvent* event) {
    if (!m_bPlaced) {
        CentreOnParent(*this);
        m_bPlaced = true;
    }
    QDialog::showEvent(event);
}

}  // namespace quorlin
