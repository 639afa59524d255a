#include "app/FindReplaceDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "res/StringTable.h"

namespace quorlin {

namespace {

QString Plain(QString text) { return text.remove(QLatin1Char('&')); }

QPushButton* Button(int textId, QWidget* parent) {
    auto* button = new QPushButton(str::LoadText(textId), parent);
    button->setAccessibleName(Plain(str::LoadText(textId)));
    return button;
}

}  // namespace

CFindReplaceDlg::CFindReplaceDlg(Mode mode, const SearchOptions& initial, QWidget* parent)
    : QDialog(parent), m_mode(mode) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    const bool replace = mode == Mode::Replace;
    setWindowTitle(str::LoadText(replace ? str::kReplaceCaption : str::kFindCaption));
    setObjectName(replace ? QStringLiteral("replaceDialog") : QStringLiteral("findDialog"));

    auto* fields = new QGridLayout;
    auto* whatLabel = new QLabel(str::LoadText(str::kFindWhat), this);
    m_pWhat = new QLineEdit(initial.what, this);
    m_pWhat->setObjectName(QStringLiteral("findWhat"));
    m_pWhat->setAccessibleName(Plain(whatLabel->text()));
    whatLabel->setBuddy(m_pWhat);
    fields->addWidget(whatLabel, 0, 0);
    fields->addWidget(m_pWhat, 0, 1);
    if (replace) {
        auto* withLabel = new QLabel(str::LoadText(str::kReplaceWith), this);
        m_pWith = new QLineEdit(this);
        m_pWith->setObjectName(QStringLiteral("replaceWith"));
        m_pWith->setAccessibleName(Plain(withLabel->text()));
        withLabel->setBuddy(m_pWith);
        fields->addWidget(withLabel, 1, 0);
        fields->addWidget(m_pWith, 1, 1);
    }

    m_pWholeWord = new QCheckBox(str::LoadText(str::kMatchWholeWord), this);
    m_pWholeWord->setObjectName(QStringLiteral("wholeWord"));
    m_pWholeWord->setAccessibleName(Plain(m_pWholeWord->text()));
    m_pWholeWord->setChecked(initial.wholeWord);
    m_pMatchCase = new QCheckBox(str::LoadText(str::kMatchCase), this);
    m_pMatchCase->setObjectName(QStringLiteral("matchCase"));
    m_pMatchCase->setAccessibleName(Plain(m_pMatchCase->text()));
    m_pMatchCase->setChecked(initial.matchCase);

    auto* options = new QVBoxLayout;
    options->addWidget(m_pWholeWord);
    options->addWidget(m_pMatchCase);
    auto* lower = new QHBoxLayout;
    lower->addLayout(options);
    if (!replace) {
        auto* direction = new QGroupBox(str::LoadText(str::kDirection), this);
        direction->setAccessibleName(direction->title());
        m_pUp = new QRadioButton(str::LoadText(str::kDirectionUp), direction);
        m_pUp->setObjectName(QStringLiteral("up"));
        m_pUp->setAccessibleName(Plain(m_pUp->text()));
        auto* down = new QRadioButton(str::LoadText(str::kDirectionDown), direction);
        down->setObjectName(QStringLiteral("down"));
        down->setAccessibleName(Plain(down->text()));
        (initial.down ? down : m_pUp)->setChecked(true);
        auto* directionLayout = new QHBoxLayout(direction);
        directionLayout->addWidget(m_pUp);
        directionLayout->addWidget(down);
        lower->addWidget(direction);
    }

    m_pStatus = new QLabel(this);
    m_pStatus->setObjectName(QStringLiteral("searchStatus"));
    m_pStatus->setAccessibleName(str::LoadText(str::kSearchStatusName));
    m_pStatus->setWordWrap(true);
    // Room for two lines from the start, so that a note never clips.
    m_pStatus->setMinimumHeight(2 * m_pStatus->fontMetrics().lineSpacing());

    auto* left = new QVBoxLayout;
    left->addLayout(fields);
    left->addLayout(lower);
    left->addWidget(m_pStatus);
    left->addStretch();

    auto* buttons = new QVBoxLayout;
    QPushButton* findNextButton = Button(str::kFindNextButton, this);
    findNextButton->setObjectName(QStringLiteral("findNext"));
    findNextButton->setDefault(true);
    buttons->addWidget(findNextButton);
    m_needText.append(findNextButton);
    connect(findNextButton, &QPushButton::clicked, this, &CFindReplaceDlg::findNext);
    if (replace) {
        QPushButton* replaceButton = Button(str::kReplaceButton, this);
        replaceButton->setObjectName(QStringLiteral("replace"));
        QPushButton* allButton = Button(str::kReplaceAllButton, this);
        allButton->setObjectName(QStringLiteral("replaceAll"));
        buttons->addWidget(replaceButton);
        buttons->addWidget(allButton);
        m_needText << replaceButton << allButton;
        connect(replaceButton, &QPushButton::clicked, this, &CFindReplaceDlg::replaceNext);
        connect(allButton, &QPushButton::clicked, this, &CFindReplaceDlg::replaceAll);
    }
    QPushButton* cancel = Button(str::kCancelButton, this);
    cancel->setObjectName(QStringLiteral("cancel"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);
    buttons->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);

    // F3 and Shift+F3 search from the dialog as they do from the editor.
    auto* again = new QShortcut(QKeySequence(Qt::Key_F3), this);
    connect(again, &QShortcut::activated, this, [this] {
        if (!m_pWhat->text().isEmpty()) emit findNext();
    });
    auto* back = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this);
    connect(back, &QShortcut::activated, this, [this] {
        if (!m_pWhat->text().isEmpty()) emit findPrevious();
    });

    connect(m_pWhat, &QLineEdit::textChanged, this, &CFindReplaceDlg::UpdateButtons);
    UpdateButtons();
    m_pWhat->selectAll();
    m_pWhat->setFocus();
}

SearchOptions CFindReplaceDlg::Options() const {
    SearchOptions options;
    options.what = m_pWhat->text();
    options.matchCase = m_pMatchCase->isChecked();
    options.wholeWord = m_pWholeWord->isChecked();
    options.down = !(m_pUp && m_pUp->isChecked());
    return options;
}

void CFindReplaceDlg::ShowStatus(const QString& text) { m_pStatus->setText(text); }

QString CFindReplaceDlg::ReplaceWith() const { return m_pWith ? m_pWith->text() : QString(); }

void CFindReplaceDlg::UpdateButtons() {
    const bool hasText = !m_pWhat->text().isEmpty();
    for (QPushButton* button : m_needText) button->setEnabled(hasText);
}

}  // namespace quorlin
