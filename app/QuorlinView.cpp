#include "app/QuorlinView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QTextBlock>

#include "app/NcHighlighter.h"
#include "res/StringTable.h"
#include "ui/FixedPitchFont.h"

namespace quorlin {

namespace {
constexpr int kNumberPadding = 6;  // pixels on either side of a line number
constexpr int kMinimumDigits = 3;
}  // namespace

class CQuorlinView::LineNumberArea : public QWidget {
public:
    explicit LineNumberArea(CQuorlinView* view) : QWidget(view), m_view(view) {}
    QSize sizeHint() const override { return {m_view->LineNumberWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent* event) override { m_view->PaintLineNumbers(event); }

private:
    CQuorlinView* m_view;
};

CQuorlinView::CQuorlinView(QWidget* parent)
    : QPlainTextEdit(parent), m_pLineNumbers(new LineNumberArea(this)), m_pHighlighter(new NcHighlighter(document())) {
    setObjectName(QStringLiteral("editor"));
    setAccessibleName(str::LoadText(str::kEditorName));
    setFont(FixedPitchFont());
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { UpdateLineNumberMargin(); });
    connect(this, &QPlainTextEdit::updateRequest, this, &CQuorlinView::UpdateLineNumberArea);
    UpdateLineNumberMargin();
}

QString CQuorlinView::Text() const {
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

void CQuorlinView::SetText(const QString& text) {
    setPlainText(text);
    document()->clearUndoRedoStacks();
    SetModified(false);
}

bool CQuorlinView::IsModified() const { return document()->isModified(); }

void CQuorlinView::SetModified(bool modified) { document()->setModified(modified); }

int CQuorlinView::LineNumberWidth() const {
    int digits = 1;
    for (int lines = std::max(1, blockCount()); lines >= 10; lines /= 10) ++digits;
    digits = std::max(digits, kMinimumDigits);
    return 2 * kNumberPadding + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits;
}

void CQuorlinView::UpdateLineNumberMargin() { setViewportMargins(LineNumberWidth(), 0, 0, 0); }

void CQuorlinView::UpdateLineNumberArea(const QRect& rect, int dy) {
    if (dy != 0) m_pLineNumbers->scroll(0, dy);
    else m_pLineNumbers->update(0, rect.y(), m_pLineNumbers->width(), rect.height());
    if (rect.contains(viewport()->rect())) UpdateLineNumberMargin();
}

void CQuorlinView::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    m_pLineNumbers->setGeometry(QRect(area.left(), area.top(), LineNumberWidth(), area.height()));
}

void CQuorlinView::PaintLineNumbers(QPaintEvent* event) {
    QPainter painter(m_pLineNumbers);
    const QPalette& colours = palette();
    painter.fillRect(event->rect(), colours.color(QPalette::AlternateBase));
    painter.setPen(colours.color(QPalette::PlaceholderText));
    painter.setFont(font());
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    const int lineHeight = fontMetrics().height();
    const int width = m_pLineNumbers->width() - kNumberPadding;
    while (block.isValid() && top <= event->rect().bottom()) {
        const int bottom = top + qRound(blockBoundingRect(block).height());
        if (block.isVisible() && bottom >= event->rect().top()) {
            painter.drawText(0, top, width, lineHeight, Qt::AlignRight, QString::number(block.blockNumber() + 1));
        }
        block = block.next();
        top = bottom;
    }
}

void CQuorlinView::contextMenuEvent(QContextMenuEvent* event) {
    if (!m_pContextMenu) {
        QPlainTextEdit::contextMenuEvent(event);
        return;
    }
    emit contextMenuRequested();
    // A request from the keyboard carries the caret's place.
    const QPoint where = event->reason() == QContextMenuEvent::Keyboard
                             ? viewport()->mapToGlobal(cursorRect().bottomLeft())
                             : event->globalPos();
    m_pContextMenu->popup(where);
    event->accept();
}

}  // namespace quorlin
