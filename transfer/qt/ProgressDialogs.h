#pragma once
// The progress windows of a transfer: CSendingDlg ("Sending") for a send or
// a download, CReceivingDlg ("Receiving") for a receive. Each is modeless,
// owned by and centred on the main window, follows the session's progress
// signals, and deletes itself when it goes: after the transfer ended on its
// own (the session's progressDestroyed), or after its Cancel, Esc or the
// caption's close button ran the session's cancel to its end.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <cstdint>

#include "transfer/qt/ProgressScale.h"
#include "transfer/qt/TransferRate.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace quorlin {

class DialogUnits;
class TransferSession;

class CProgressDlg : public QDialog {
    Q_OBJECT
public:
    // The texts shown when the dialog is created; later calls change nothing.
    void SetInfo(const QString& portText, const QString& systemText, const QString& filePath);
    // Builds the controls and centres the dialog on its owner, the parent
    // given at construction; the dialog stays hidden until shown. False when
    // it cannot be made, after which the object deletes itself.
    bool Create();
    void SetByteCount(uint64_t count);

    // Cancel, Esc and the caption's close button: the session's cancel runs
    // to its end, then the window goes and the object deletes itself.
    void OnCancel();
    // The transfer ended on its own: the window goes without a cancel.
    void Dismiss();

    QPushButton* CancelButton() const { return m_pCancel; }

protected:
    CProgressDlg(TransferSession& session, const char* caption, QWidget* owner);

    void reject() override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    // The layout of the dialog in dialog units, built in tab order.
    virtual QSize BuildControls(const DialogUnits& units) = 0;
    // The session's handler of this dialog's Cancel.
    virtual void NotifyCancel(TransferSession& session) = 0;

    // Helpers for BuildControls.
    QLabel* AddLabel(const QString& text, const QRect& rect, Qt::Alignment align = Qt::AlignLeft);
    QPlainTextEdit* AddPathBox(const QRect& rect, bool scrollsVertically);
    QPushButton* AddCancel(const QRect& rect);

    QPointer<TransferSession> m_session;
    QString m_strPortText;
    QString m_strSystemText;
    QString m_strFilePath;
    QLabel* m_wndByteCount = nullptr;
    QPushButton* m_pCancel = nullptr;

private:
    void CentreOnOwner();

    bool m_bCreated = false;
    bool m_bShownOnce = false;
    bool m_bGone = false;
};

class CSendingDlg final : public CProgressDlg {
    Q_OBJECT
public:
    CSendingDlg(TransferSession& session, QWidget* owner);

    void SetRange(uint64_t total);
    void SetPos(uint64_t position);

    QProgressBar* Progress() const { return m_progress; }
    QLabel* RateLabel() const { return m_pRate; }

protected:
    QSize BuildControls(const DialogUnits& units) override;
    void NotifyCancel(TransferSession& session) override;

private:
    void ShowRate();

    QProgressBar* m_progress = nullptr;
    QLabel* m_pRate = nullptr;
    ProgressScale m_scale;
    TransferRate m_rate;
};

class CReceivingDlg final : public CProgressDlg {
    Q_OBJECT
public:
    CReceivingDlg(TransferSession& session, QWidget* owner);

protected:
    QSize BuildControls(const DialogUnits& units) override;
    void NotifyCancel(TransferSession& session) override;
};

}  // namespace quorlin
