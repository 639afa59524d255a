#pragma once
// What the Convert and Batch convert dialogs share: a modeless window that
// opens centred on the main window and deletes itself when closed, the
// prompts it shows its messages through, and the running of its Convert
// button's work with the dialog busy meanwhile.
//
// While a conversion runs off the GUI thread every control is disabled, an
// indeterminate progress bar runs and the dialog refuses to close (its Exit
// or Cancel button, Escape and the caption's close button alike): the core
// cannot stop a conversion part-way, and its messages, which may report a
// failure, need the dialog to be shown over.

#include <QDialog>
#include <QPointer>
#include <functional>
#include <memory>

#include "convert/qt/ConversionJob.h"

class QHBoxLayout;
class QProgressBar;
class QPushButton;

namespace quorlin {

class ConverterPrompts;

class ConverterDialog : public QDialog {
    Q_OBJECT
public:
    ConverterDialog(QWidget* mainWindow, const QString& objectName, const QString& title);
    ~ConverterDialog() override;

    // Replaces the message boxes and choosers (tests answer in their place).
    void SetPrompts(std::unique_ptr<ConverterPrompts> prompts);
    bool IsConverting() const { return m_job.IsRunning(); }

    void reject() override;

signals:
    // A conversion ended and its messages were shown; finished tells whether
    // it reported "File converting finished!".
    void conversionDone(bool finished);

protected:
    ConverterPrompts& Prompts() { return *m_pPrompts; }
    // The bar shown while a conversion runs; owned by the dialog, placed by
    // the caller, hidden until then.
    QProgressBar* MakeProgressBar();
    // The dialog's bottom row: the progress bar, Convert (the default
    // button), which calls onConvert, and the button that closes the dialog,
    // closeText ("Exit", "Cancel").
    QHBoxLayout* MakeButtonRow(const QString& closeText, const char* closeObjectName,
                               std::function<void()> onConvert);
    // A "..." button that opens a chooser; accessibleName says which.
    QPushButton* MakeBrowseButton(const char* objectName, const QString& accessibleName);
    // Runs work (reading and writing about workBytes bytes) and shows its
    // messages.
    void RunWork(ConversionJob::Work work, qint64 workBytes);

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void SetBusy(bool busy);
    void ShowOutcome(const ConversionOutcome& outcome);

    std::unique_ptr<ConverterPrompts> m_pPrompts;
    QProgressBar* m_pProgress = nullptr;
    // The control that had the focus when a conversion started, given it
    // back when the controls are enabled again.
    QPointer<QWidget> m_pFocusBefore;
    bool m_bPlaced = false;
    // Last: destroyed first, so a running worker is joined while the rest
    // of the dialog still exists.
    ConversionJob m_job;
};

// The size of the file at path; 0 for anything that is not a file.
qint64 SizeOfFile(const QString& path);

}  // namespace quorlin
