#include "app/GoToDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "res/StringTable.h"

namespace quorlin {

CGoToDlg::CGoToDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("goToDialog"));
    setWindowTitle(str::LoadText(str::kGoToCaption));
    auto* label = new QLabel(str::LoadText(str::kGoToLabel), this);
    m_pTarget = new QLineEdit(this);
    m_pTarget->setObjectName(QStringLiteral("goToTarget"));
    m_pTarget->setAccessibleName(label->text().remove(QLatin1Char('&')));
    label->setBuddy(m_pTarget);

    auto* buttons = new QDialogButtonBox(this);
    m_pOk = buttons->addButton(str::LoadText(str::kOkButton), QDialogButtonBox::AcceptRole);
    m_pOk->setObjectName(QStringLiteral("ok"));
    m_pOk->setDefault(true);
    QPushButton* cancel = buttons->addButton(str::LoadText(str::kCancelButton), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pTarget, &QLineEdit::textChanged, this, [this] { m_pOk->setEnabled(Target().has_value()); });
    m_pOk->setEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_pTarget);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

std::optional<GoToTarget> CGoToDlg::Target() const { return ParseGoToTarget(m_pTarget->text()); }

}  // namespace quorlin
