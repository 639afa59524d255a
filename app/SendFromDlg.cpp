#include "app/SendFromDlg.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "nc/NcLines.h"
#include "res/StringTable.h"

namespace quorlin {

namespace {

QString WithoutMnemonic(QString text) { return text.remove(QLatin1Char('&')); }

// The line as the person sees it in the editor, for the outcome label.
QString LineText(const QByteArray& program, long line) {
    const auto lines = nc::SplitLines(std::string_view(program.constData(), size_t(program.size())));
    if (line < 1 || size_t(line) > lines.size()) return {};
    const std::string_view content = lines[size_t(line - 1)].content;
    return QString::fromLatin1(content.data(), qsizetype(content.size())).trimmed();
}

}  // namespace

CSendFromDlg::CSendFromDlg(const QByteArray& program, long caretLine, QWidget* parent)
    : QDialog(parent), m_program(program) {
    setObjectName(QStringLiteral("sendFromDialog"));
    setWindowTitle(str::LoadText(str::kSendFromCaption));

    m_pByBlock = new QRadioButton(str::LoadText(str::kSendFromByBlock), this);
    m_pByBlock->setObjectName(QStringLiteral("byBlock"));
    m_pByLine = new QRadioButton(str::LoadText(str::kSendFromByLine), this);
    m_pByLine->setObjectName(QStringLiteral("byLine"));
    auto* group = new QButtonGroup(this);
    group->addButton(m_pByBlock);
    group->addButton(m_pByLine);

    auto* label = new QLabel(str::LoadText(str::kSendFromNumber), this);
    m_pNumber = new QLineEdit(this);
    m_pNumber->setObjectName(QStringLiteral("startNumber"));
    m_pNumber->setAccessibleName(WithoutMnemonic(label->text()));
    m_pNumber->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,9}")), this));
    label->setBuddy(m_pNumber);

    m_pOutcome = new QLabel(this);
    m_pOutcome->setObjectName(QStringLiteral("outcome"));
    m_pOutcome->setWordWrap(true);
    m_pOutcome->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    m_pOutcome->setFocusPolicy(Qt::StrongFocus);

    auto* buttons = new QDialogButtonBox(this);
    m_pSend = buttons->addButton(str::LoadText(str::kSendFromSend), QDialogButtonBox::AcceptRole);
    m_pSend->setObjectName(QStringLiteral("send"));
    m_pSend->setDefault(true);
    QPushButton* cancel = buttons->addButton(str::LoadText(str::kCancelButton), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (!m_resume.Refused()) accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    const nc::ResumeRequest offered =
        nc::ResumeRequestAt(std::string_view(program.constData(), size_t(program.size())), caretLine);
    (offered.by == nc::ResumeBy::Block ? m_pByBlock : m_pByLine)->setChecked(true);
    m_pNumber->setText(QString::number(offered.number));
    m_pNumber->selectAll();
    connect(m_pNumber, &QLineEdit::textChanged, this, &CSendFromDlg::Evaluate);
    connect(m_pByBlock, &QRadioButton::toggled, this, &CSendFromDlg::Evaluate);

    auto* form = new QFormLayout;
    form->addRow(label, m_pNumber);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pByBlock);
    layout->addWidget(m_pByLine);
    layout->addLayout(form);
    layout->addWidget(m_pOutcome);
    layout->addWidget(buttons);
    setTabOrder(m_pByBlock, m_pByLine);
    setTabOrder(m_pByLine, m_pNumber);
    setTabOrder(m_pNumber, m_pOutcome);
    m_pNumber->setFocus();
    Evaluate();
}

void CSendFromDlg::Evaluate() {
    bool ok = false;
    const qlonglong number = m_pNumber->text().toLongLong(&ok);
    if (!ok) {
        m_resume = nc::ResumeText{};
        m_resume.refusal = str::LoadText(str::kSendFromNoNumber).toStdString();
    } else {
        m_resume = nc::PrepareResume(std::string_view(m_program.constData(), size_t(m_program.size())),
                                     {m_pByBlock->isChecked() ? nc::ResumeBy::Block : nc::ResumeBy::Line, number});
    }
    m_pOutcome->setText(m_resume.Refused()
                            ? QString::fromStdString(m_resume.refusal)
                            : str::LoadText(str::kSendFromResumesAt).arg(m_resume.line).arg(LineText(m_program, m_resume.line)));
    m_pOutcome->setAccessibleName(m_pOutcome->text());
    m_pSend->setEnabled(!m_resume.Refused());
}

}  // namespace quorlin
