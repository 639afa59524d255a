#include "app/QuorlinView.h"

#include <QAbstractTextDocumentLayout>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

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
    : QPlainTextEdit(parent), m_pLineNumbers(new LineNumberArea(this)), m_pHighlighter(std::make_unique<NcHighlighter>()) {
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

CQuorlinView::~CQuorlinView() = default;

QString CQuorlinView::Text() const {
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

void CQuorlinView::SetText(const QString& text, LineEnding usual) {
    setPlainText(text);
    document()->clearUndoRedoStacks();
    SetModified(false);
    m_usualBreak = usual;
}

void CQuorlinView::SetDocument(std::unique_ptr<QTextDocument> document, LineEnding usual) {
    const QPointer<QTextDocument> shown = this->document();
    document->setParent(this);
    setDocument(document.release());
    // The editor deletes only a document it made itself.
    if (shown && shown->parent() == this) delete shown;

    m_usualBreak = usual;
    UpdateLineNumberMargin();
}

std::vector<LineEnding> CQuorlinView::LineBreaks() const {
    std::vector<LineEnding> breaks;
    breaks.reserve(static_cast<size_t>(blockCount()));
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        const int state = block.userState();
        const bool recorded = state >= static_cast<int>(LineEnding::CrLf) && state <= static_cast<int>(LineEnding::Cr);
        breaks.push_back(recorded ? static_cast<LineEnding>(state) : m_usualBreak);
    }
    return breaks;
}

void CQuorlinView::GoToLine(int line) {
    QTextCursor caret(document()->findBlockByNumber(line));
    setTextCursor(caret);
    centerCursor();
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

void CQuorlinView::paintEvent(QPaintEvent* event) {
    ColourShownLines();
    QPlainTextEdit::paintEvent(event);
}

// Colours the lines in view, and only those: colouring a whole program of
// millions of lines would cost seconds at open and its memory for good. A
// line whose colours change (newly shown, or edited) is laid out again at
// once, in time for the paint under way, which therefore needs no second
// paint.
void CQuorlinView::ColourShownLines() {
    const int bottom = viewport()->height();
    QTextBlock block = firstVisibleBlock();
    qreal top = 0;
    for (bool first = true; block.isValid() && top <= bottom; first = false) {
        QTextLayout* layout = block.layout();
        const QList<QTextLayout::FormatRange> formats = m_pHighlighter->Formats(block.text());
        if (layout && layout->formats() != formats) {
            layout->setFormats(formats);
            // Lays the line out now and closes the change that new formats
            // open in the document, which the next edit would otherwise
            // widen to every line between.
            const QSignalBlocker quiet(document()->documentLayout());
            document()->markContentsDirty(block.position(), block.length());
        }
        if (first) top = blockBoundingGeometry(block).translated(contentOffset()).top();
        top += blockBoundingRect(block).height();
        block = block.next();
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
