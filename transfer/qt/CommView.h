#pragma once
// The communication log view: the lower pane of the main window. It shows
// the log of the TransferSession, offers its context menu (Copy, Select All,
// Clear All), shows the session's message boxes and creates the progress
// dialog of each transfer.

#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCharFormat>
#include <QTimer>

#include "transfer/TransferHost.h"

class QMenu;

namespace quorlin {

class CProgressDlg;
class TransferSession;

class CCommView : public QPlainTextEdit {
    Q_OBJECT
public:
    CCommView(TransferSession& session, QWidget* parent = nullptr);

    // The view's first update, after the frame exists and after every New
    // and Open of the document: opens the configured port.
    void OnInitialUpdate();

    // Command 32783 and its enable rule: enabled exactly when the log has text.
    void OnClearAll();
    bool OnUpdateClearAll() const;

    // The "COMM_VIEW" popup with the enable states of this moment; the
    // caller owns it.
    QMenu* CreateContextMenu();

    // The progress dialog of the running transfer; null when there is none.
    CProgressDlg* ProgressDialog() const;

    // Shows the log's changes that wait for the next redraw at once.
    void ShowPendingLog();
    // How often, at most, the log's changes are shown while text streams in.
    static constexpr int kShowIntervalMs = 50;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void AppendToView(const QString& text);
    // Inserts log text at cursor, each control character in its box's format.
    void InsertLogText(QTextCursor& cursor, const QString& text);
    void EraseViewFront(int count);
    void ShowMessageBox(const QString& text, const QString& caption, MessageBoxIcon icon, const QString& detail);
    void CreateProgressDialog(ProgressKind kind, const QString& portText, const QString& systemText,
                              const QString& path);
    void PaintLikeATextBox();

    void ClearView();

    TransferSession& m_session;
    QPointer<CProgressDlg> m_pProgressDlg;

    // The log's changes since they were last shown: characters to remove
    // from the front of the shown text, then text to add at its end.
    int m_nPendingErase = 0;
    QString m_strPending;
    QTimer m_showTimer;
    QTextCharFormat m_controlFormat;
};

}  // namespace quorlin
