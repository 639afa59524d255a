#include "app/CompareWindow.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>
#include <QVBoxLayout>

#include "app/EditorToolSettings.h"
#include "res/StringTable.h"

namespace quorlin {

namespace {

// Marks of the rows: a changed line on both sides, a line only on one side
// (the other side shows an empty, shaded row).
const QColor kChanged(0xff, 0xf1, 0xb8);
const QColor kRemoved(0xff, 0xd7, 0xd5);
const QColor kAdded(0xd4, 0xf5, 0xd4);
const QColor kMissing(0xe8, 0xe8, 0xe8);

QPlainTextEdit* MakePane(const QString& name, QWidget* parent) {
    auto* pane = new QPlainTextEdit(parent);
    pane->setReadOnly(true);
    pane->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    pane->setLineWrapMode(QPlainTextEdit::NoWrap);
    pane->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    pane->setAccessibleName(name);
    pane->document()->setUndoRedoEnabled(false);  // the marks are edits of the pane's text
    return pane;
}

// Paints the rows' backgrounds through their block formats: a marked row
// costs nothing when the pane is drawn, however many there are.
void MarkRows(QPlainTextEdit* pane, const std::vector<QColor>& colours) {
    QTextCursor cursor(pane->document());
    cursor.beginEditBlock();
    QTextBlock block = pane->document()->firstBlock();
    for (const QColor& colour : colours) {
        if (!block.isValid()) break;
        if (colour.isValid()) {
            QTextBlockFormat format;
            format.setBackground(colour);
            cursor.setPosition(block.position());
            cursor.setBlockFormat(format);
        }
        block = block.next();
    }
    cursor.endEditBlock();
}

void SyncScrollBars(QScrollBar* a, QScrollBar* b) {
    QObject::connect(a, &QScrollBar::valueChanged, b, &QScrollBar::setValue);
    QObject::connect(b, &QScrollBar::valueChanged, a, &QScrollBar::setValue);
}

}  // namespace

CCompareWindow::CCompareWindow(const QString& leftName, std::string leftText, const QString& rightName,
                               std::string rightText, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_leftText(std::move(leftText)),
      m_rightText(std::move(rightText)),
      m_pLeft(MakePane(leftName, this)),
      m_pRight(MakePane(rightName, this)),
      m_pIgnoreSpaces(new QCheckBox(str::LoadText(str::kIgnoreSpaces), this)),
      m_pIgnoreBlockNumbers(new QCheckBox(str::LoadText(str::kIgnoreBlockNumbers), this)),
      m_pCount(new QLabel(this)),
      m_pPrevious(new QPushButton(str::LoadText(str::kPreviousDifference), this)),
      m_pNext(new QPushButton(str::LoadText(str::kNextDifference), this)) {
    setObjectName(QStringLiteral("compareWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(str::LoadText(str::kCompareCaption).arg(leftName, rightName));

    const nc::CompareOptions options = ReadCompareOptions();
    m_pIgnoreSpaces->setChecked(options.ignoreSpaces);
    m_pIgnoreBlockNumbers->setChecked(options.ignoreBlockNumbers);
    m_pCount->setObjectName(QStringLiteral("differenceCount"));
    // Wide enough for any count, so that the buttons do not move as it changes.
    m_pCount->setMinimumWidth(m_pCount->fontMetrics().horizontalAdvance(
        str::LoadText(str::kDifferenceOf).arg(99999).arg(99999) + QLatin1Char(' ')));
    m_pCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* names = new QHBoxLayout;
    auto* panes = new QHBoxLayout;
    for (QPlainTextEdit* pane : {m_pLeft, m_pRight}) {
        auto* label = new QLabel(pane->accessibleName(), this);
        label->setBuddy(pane);
        names->addWidget(label, 1);
        panes->addWidget(pane, 1);
    }
    SyncScrollBars(m_pLeft->verticalScrollBar(), m_pRight->verticalScrollBar());
    SyncScrollBars(m_pLeft->horizontalScrollBar(), m_pRight->horizontalScrollBar());

    auto* close = new QPushButton(str::LoadText(str::kCloseButton), this);
    auto* bar = new QHBoxLayout;
    bar->addWidget(m_pIgnoreSpaces);
    bar->addWidget(m_pIgnoreBlockNumbers);
    bar->addStretch(1);
    bar->addWidget(m_pCount);
    bar->addWidget(m_pPrevious);
    bar->addWidget(m_pNext);
    bar->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(names);
    layout->addLayout(panes, 1);
    layout->addLayout(bar);

    m_pNext->setToolTip(QStringLiteral("F8"));
    m_pPrevious->setToolTip(QStringLiteral("Shift+F8"));
    connect(new QShortcut(QKeySequence(Qt::Key_F8), this), &QShortcut::activated, this,
            &CCompareWindow::NextDifference);
    connect(new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8), this), &QShortcut::activated, this,
            &CCompareWindow::PreviousDifference);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
    connect(m_pNext, &QPushButton::clicked, this, &CCompareWindow::NextDifference);
    connect(m_pPrevious, &QPushButton::clicked, this, &CCompareWindow::PreviousDifference);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    for (QCheckBox* option : {m_pIgnoreSpaces, m_pIgnoreBlockNumbers}) {
        connect(option, &QCheckBox::toggled, this, [this] {
            WriteCompareOptions({m_pIgnoreSpaces->isChecked(), m_pIgnoreBlockNumbers->isChecked()});
            Recompare();
        });
    }
    resize(1000, 640);
    Recompare();
}

void CCompareWindow::Recompare() {
    m_comparison = nc::CompareTexts(m_leftText, m_rightText,
                                    {m_pIgnoreSpaces->isChecked(), m_pIgnoreBlockNumbers->isChecked()});
    // One row per line of the panes: a side without a line gets an empty one.
    QString left, right;
    auto lineOf = [](const std::vector<std::string>& lines, long index) {
        if (index < 0) return QString();
        const std::string& line = lines[static_cast<size_t>(index)];
        return QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
    };
    for (size_t row = 0; row < m_comparison.rows.size(); ++row) {
        if (row > 0) {
            left += QLatin1Char('\n');
            right += QLatin1Char('\n');
        }
        left += lineOf(m_comparison.leftLines, m_comparison.rows[row].left);
        right += lineOf(m_comparison.rightLines, m_comparison.rows[row].right);
    }
    m_pLeft->setPlainText(left);
    m_pRight->setPlainText(right);

    std::vector<QColor> leftMarks(m_comparison.rows.size()), rightMarks(m_comparison.rows.size());
    for (size_t row = 0; row < m_comparison.rows.size(); ++row) {
        switch (m_comparison.rows[row].kind) {
        case nc::RowKind::Changed:
            leftMarks[row] = kChanged;
            rightMarks[row] = kChanged;
            break;
        case nc::RowKind::Removed:
            leftMarks[row] = kRemoved;
            rightMarks[row] = kMissing;
            break;
        case nc::RowKind::Added:
            leftMarks[row] = kMissing;
            rightMarks[row] = kAdded;
            break;
        case nc::RowKind::Same:
        case nc::RowKind::Ignored: break;
        }
    }
    MarkRows(m_pLeft, leftMarks);
    MarkRows(m_pRight, rightMarks);
    m_current = -1;
    UpdateCount();
}

void CCompareWindow::UpdateCount() {
    const int count = static_cast<int>(m_comparison.differences.size());
    QString text = count == 0   ? str::LoadText(str::kNoDifferences)
                   : count == 1 ? str::LoadText(str::kOneDifference)
                                : str::LoadText(str::kDifferences).arg(count);
    if (m_current >= 0) text = str::LoadText(str::kDifferenceOf).arg(m_current + 1).arg(count);
    m_pCount->setText(text);
    m_pCount->setAccessibleName(text);
    m_pNext->setEnabled(m_current + 1 < count);
    m_pPrevious->setEnabled(m_current > 0);
}

void CCompareWindow::NextDifference() {
    if (m_current + 1 < static_cast<int>(m_comparison.differences.size())) ShowDifference(m_current + 1);
}

void CCompareWindow::PreviousDifference() {
    if (m_current > 0) ShowDifference(m_current - 1);
}

void CCompareWindow::ShowDifference(int index) {
    m_current = index;
    const int row = static_cast<int>(m_comparison.differences[static_cast<size_t>(index)]);
    for (QPlainTextEdit* pane : {m_pLeft, m_pRight}) {
        QTextCursor cursor(pane->document()->findBlockByNumber(row));
        pane->setTextCursor(cursor);
        pane->centerCursor();
    }
    UpdateCount();
}

}  // namespace quorlin
