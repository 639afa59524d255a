#pragma once
// The progress windows of a transfer: CSendingDlg ("Sending") for a send or
// a download, CReceivingDlg ("Receiving") for a receive. Each is modeless,
// owned by and centred on the main window, follows the session's progress
// signals, and deletes itself when it goes: after the transfer ended on its
// own (the session's progressDestroyed), or after its Cancel, Esc or the
// caption's close button ran the session's cancel to its end.
//
// Both show, at least once a second, how the transfer goes: the rate the
// line carried over the last seconds (never above what the line can carry)
// with the time left while that rate is steady, or, when nothing has moved
// for a second, what the transfer waits for and since when.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>

#include "transfer/TransferEngine.h"
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
    // The line under the counts: rate and time left, or what the transfer waits for.
    QLabel* StatusLabel() const { return m_pStatus; }

    // How often the status line is brought up to date.
    static constexpr int kRefreshMs = 500;
    // Nothing moved for this long: the status line says what the transfer waits for.
    static constexpr std::chrono::milliseconds kStallAfter{1000};

    // Brings the status line up to date now (the timer does it every kRefreshMs).
    void Refresh();
    // Counts come with every read and write of the port, thousands a second
    // on a fast line; they are drawn at most this often, the first at once.
    static constexpr int kShowIntervalMs = 50;
    // Draws the count (and bar) that waits for the next redraw now.
    void ShowPendingCount();

protected:
    CProgressDlg(TransferSession& session, const char* caption, QWidget* owner);

    void reject() override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    // The layout of the dialog in dialog units, built in tab order.
    virtual QSize BuildControls(const DialogUnits& units) = 0;
    // The session's handler of this dialog's Cancel.
    virtual void NotifyCancel(TransferSession& session) = 0;
    // Draws what ShowPendingCount shows besides the count.
    virtual void ShowPosition() {}
    // Draws the count now, or when kShowIntervalMs has passed since the last time.
    void ScheduleShow();

    // Helpers for BuildControls.
    QLabel* AddLabel(const QString& text, const QRect& rect, Qt::Alignment align = Qt::AlignLeft);
    QPlainTextEdit* AddPathBox(const QRect& rect, bool scrollsVertically);
    QPushButton* AddCancel(const QRect& rect);
    QLabel* AddStatus(const QRect& rect);

    QPointer<TransferSession> m_session;
    QString m_strPortText;
    QString m_strSystemText;
    QString m_strFilePath;
    QLabel* m_wndByteCount = nullptr;
    QPushButton* m_pCancel = nullptr;
    QLabel* m_pStatus = nullptr;
    TransferRate m_rate;
    // The bytes the transfer has moved, as the session last told them.
    uint64_t m_nPosition = 0;
    // A send counts bytes handed to the port, some of which it still holds.
    bool m_bCountsOutput = false;

private:
    void CentreOnOwner();
    QString StatusText(TransferEngine::Wait wait, TransferRate::Clock::duration still, bool outputWaiting) const;

    QTimer m_refresh;
    QTimer m_showLater;
    QElapsedTimer m_sinceShown;
    TransferEngine::Activity m_lastActivity;
    TransferRate::Clock::time_point m_lastMove;

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
    QLabel* RateLabel() const { return m_pStatus; }

protected:
    QSize BuildControls(const DialogUnits& units) override;
    void NotifyCancel(TransferSession& session) override;
    void ShowPosition() override;

private:
    QProgressBar* m_progress = nullptr;
    ProgressScale m_scale;
    uint64_t m_nBarPos = 0;
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
