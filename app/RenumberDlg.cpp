#include "app/RenumberDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include "res/StringTable.h"

namespace quorlin {

namespace {

QSpinBox* NumberBox(int min, int max, qint64 value, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(min, max);
    box->setValue(static_cast<int>(value));
    return box;
}

QString Plain(QString label) { return label.remove(QLatin1Char('&')).remove(QLatin1Char(':')); }

}  // namespace

CRenumberDlg::CRenumberDlg(const nc::RenumberOptions& options, QWidget* parent)
    : QDialog(parent),
      m_pStart(NumberBox(0, nc::kMaxBlockNumber, options.start, this)),
      m_pStep(NumberBox(1, nc::kMaxBlockNumber, options.step, this)),
      m_pWidth(NumberBox(0, nc::kMaxNumberWidth, options.width, this)),
      m_pUnnumbered(new QCheckBox(str::LoadText(str::kRenumberUnnumbered), this)) {
    setObjectName(QStringLiteral("renumberDlg"));
    setWindowTitle(str::LoadText(str::kRenumberCaption));
    m_pWidth->setSpecialValueText(str::LoadText(str::kRenumberWidthAsNeeded));
    m_pUnnumbered->setChecked(options.numberUnnumbered);

    auto* form = new QFormLayout;
    const std::pair<int, QSpinBox*> rows[] = {
        {str::kRenumberStart, m_pStart}, {str::kRenumberStep, m_pStep}, {str::kRenumberWidth, m_pWidth}};
    for (const auto& [textId, box] : rows) {
        auto* label = new QLabel(str::LoadText(textId), this);
        label->setBuddy(box);
        box->setAccessibleName(Plain(label->text()));
        form->addRow(label, box);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pUnnumbered);
    layout->addWidget(buttons);
    m_pStart->setFocus();
    m_pStart->selectAll();
}

nc::RenumberOptions CRenumberDlg::Options() const {
    nc::RenumberOptions options;
    options.start = m_pStart->value();
    options.step = m_pStep->value();
    options.width = m_pWidth->value();
    options.numberUnnumbered = m_pUnnumbered->isChecked();
    return options;
}

}  // namespace quorlin
