#include "app/CaretIndicator.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextBlock>

#include "app/BlockNumbers.h"
#include "res/StringTable.h"

namespace quorlin {

namespace {

// Wide enough that the panes do not jump while the caret moves in programs
// of up to a million lines.
constexpr const char* kWidestPosition = "Ln 9999999, Col 999";
constexpr const char* kWidestBlock = "N99999";

QLabel* MakePane(QStatusBar* bar, const char* objectName, int nameId, const char* widest) {
    auto* pane = new QLabel(bar);
    pane->setObjectName(QLatin1String(objectName));
    pane->setAccessibleName(str::LoadText(nameId));
    pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(QLatin1String(widest)) + 8);
    bar->addPermanentWidget(pane);
    return pane;
}

}  // namespace

CaretIndicator::CaretIndicator(QPlainTextEdit& editor, QStatusBar* bar)
    : QObject(bar),
      m_editor(editor),
      m_pPosition(MakePane(bar, "caretPosition", str::kCaretName, kWidestPosition)),
      m_pBlock(MakePane(bar, "caretBlock", str::kBlockName, kWidestBlock)) {
    connect(&editor, &QPlainTextEdit::cursorPositionChanged, this, &CaretIndicator::Update);
    // A new text (New, Open) leaves the caret where it was in numbers.
    connect(&editor, &QPlainTextEdit::textChanged, this, &CaretIndicator::Update);
    Update();
}

QString CaretIndicator::PositionText() const { return m_pPosition->text(); }

QString CaretIndicator::BlockText() const { return m_pBlock->text(); }

void CaretIndicator::Update() {
    const QTextCursor caret = m_editor.textCursor();
    m_pPosition->setText(str::LoadText(str::kCaretLine).arg(caret.blockNumber() + 1).arg(caret.positionInBlock() + 1));
    const std::optional<BlockWord> word = BlockNumberOf(caret.block().text());
    m_pBlock->setText(word ? word->text : QString());
}

}  // namespace quorlin
