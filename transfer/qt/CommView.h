#pragma once
// The communication log view: the lower pane of the main window. It shows
// the log of the TransferSession, its context menu and the progress dialogs
// and message boxes of the running transfer.

#include <QPlainTextEdit>

namespace quorlin {

class TransferSession;

class CCommView : public QPlainTextEdit {
    Q_OBJECT
public:
    CCommView(TransferSession& session, QWidget* parent = nullptr);

    // The view's first update, after the frame exists and after every New
    // and Open of the document: opens the configured port.
    void OnInitialUpdate();

private:
    TransferSession& m_session;
};

}  // namespace quorlin
