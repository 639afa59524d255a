#include "app/QuorlinView.h"

#include <QAbstractTextDocumentLayout>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMimeData>
#include <QMenu>
#include <QPainter>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "app/NcBlockBreak.h"
#include "app/NcHighlighter.h"
#include "app/NcLoader.h"
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
    // A document of the view's own, so that an open can put it aside and
    // bring it back.
    std::unique_ptr<QTextDocument> own = NewProgramDocument(font());
    own->setUndoRedoEnabled(true);
    own->setParent(this);
    setDocument(own.release());
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

std::unique_ptr<QTextDocument> CQuorlinView::ReplaceDocument(std::unique_ptr<QTextDocument> document,
                                                            LineEnding usual) {
    std::unique_ptr<QTextDocument> shown(this->document());
    shown->setParent(nullptr);
    document->setParent(this);
    setDocument(document.release());
    m_usualBreak = usual;
    UpdateLineNumberMargin();
    return shown;
}

std::vector<LineEnding> CQuorlinView::LineBreaks() const {
    std::vector<LineEnding> breaks;
    breaks.reserve(static_cast<size_t>(blockCount()));
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        breaks.push_back(RecordedBreak(block).value_or(m_usualBreak));
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
    if (lineWrapMode() == QPlainTextEdit::NoWrap && event->oldSize().width() != event->size().width()) {
        // A plain text editor lays out every line anew when its width
        // changes, which at 50 MB freezes the window for a second each time
        // the window is resized or the line numbers take another digit.
        // Lines that never wrap look the same at any width: the editor is
        // told only of the change in height.
        QResizeEvent heightOnly(event->size(), QSize(event->size().width(), event->oldSize().height()));
        QPlainTextEdit::resizeEvent(&heightOnly);
    } else {
        QPlainTextEdit::resizeEvent(event);
    }
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
// millions of lines would cost seconds at open and its memory for good. The
// lines whose colours change (newly shown, or edited) are laid out again in
// time for the paint under way, which therefore needs no second paint.
void CQuorlinView::ColourShownLines() {
    // Every line is one line high (no wrap), so the lines shown are counted
    // without laying any out: a line is laid out once, with its colours, by
    // the paint.
    const qreal lineHeight = std::max<qreal>(1, QFontMetricsF(document()->defaultFont()).height());
    const int shown = static_cast<int>(viewport()->height() / lineHeight) + 2;
    int firstChanged = -1, endChanged = -1;
    QTextBlock block = firstVisibleBlock();
    for (int line = 0; block.isValid() && line < shown; ++line, block = block.next()) {
        QTextLayout* layout = block.layout();
        const QList<QTextLayout::FormatRange> formats = m_pHighlighter->Formats(block.text());
        if (layout && layout->formats() != formats) {
            layout->setFormats(formats);
            if (firstChanged < 0) firstChanged = block.position();
            endChanged = block.position() + block.length();
        }
    }
    if (firstChanged < 0) return;
    // New formats open a change in the document, which the next edit would
    // otherwise widen to every line between. Closing it once for all the
    // lines coloured drops their old layouts; the paint under way lays them
    // out anew, and the layout's call for a further paint is not needed.
    const QSignalBlocker quiet(document()->documentLayout());
    document()->markContentsDirty(firstChanged, endChanged - firstChanged);
}

// A new line starts without a break of its own: the text document would
// give it the format, and so the break, of the line it was split from.
void CQuorlinView::keyPressEvent(QKeyEvent* event) {
    if (!isReadOnly() && event == QKeySequence::InsertParagraphSeparator) {
        InsertLines(QStringLiteral("\n"));
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CQuorlinView::insertFromMimeData(const QMimeData* source) {
    if (isReadOnly() || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    InsertLines(source->text());
}

// Inserts text at the caret, in place of the selection: the text before the
// first break joins the caret's line, which keeps its break, and every later
// line is a line added. Where the caret stands at the start of a line, that
// line moves down whole, with its break, below the lines added.
void CQuorlinView::InsertLines(const QString& text) {
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    for (QChar separator : {QChar(u'\r'), QChar(QChar::ParagraphSeparator), QChar(QChar::LineSeparator)})
        plain.replace(separator, QLatin1Char('\n'));
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    const bool pushDown = cursor.atBlockStart() && !cursor.block().text().isEmpty();
    const QStringList lines = plain.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0 && pushDown) {
            cursor.insertBlock(cursor.blockFormat());
            QTextCursor(cursor.block().previous()).setBlockFormat(QTextBlockFormat());
        } else if (i > 0) {
            cursor.insertBlock(QTextBlockFormat());
        }
        cursor.insertText(lines[i]);
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
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
