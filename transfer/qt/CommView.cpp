#include "transfer/qt/CommView.h"

#include "transfer/qt/TransferSession.h"

namespace quorlin {

CCommView::CCommView(TransferSession& session, QWidget* parent) : QPlainTextEdit(parent), m_session(session) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
}

void CCommView::OnInitialUpdate() { m_session.OpenPort(); }

}  // namespace quorlin
