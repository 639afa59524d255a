#include "app/CommProp.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "profile/Profile.h"
#include "res/StringTable.h"
#include "serial/PortMap.h"
#include "transfer/ControllerFamily.h"
#include "transfer/SystemType.h"

namespace quorlin {

namespace {

constexpr int kListCharacters = 22;

QString Plain(QString text) { return text.remove(QLatin1Char('&')); }

QLabel* RightLabel(int textId, QWidget* parent) {
    auto* label = new QLabel(str::LoadText(textId), parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

}  // namespace

QStringList PortRows(const CommSettings& settings) {
    QStringList rows;
    for (int index = 0; index < static_cast<int>(settings.portList.size()); ++index) {
        const std::string name = GetPortName(settings, index);
        if (name.empty()) break;
        QString row = QString::fromStdString(name);
        const std::string device = PortDevicePath(static_cast<unsigned>(settings.portList[static_cast<size_t>(index)]));
        if (!device.empty()) row += QStringLiteral("  (%1)").arg(QString::fromLocal8Bit(device.c_str()));
        rows << row;
    }
    return rows;
}

QStringList BaudRows(int sysType) {
    QStringList rows;
    if (const ControllerFamily* family = FindFamily(sysType))
        for (int32_t baud : family->baudChoices) rows << QString::number(baud);
    return rows;
}

CCommProp::CCommProp(const CommSettings& settings, QWidget* parent) : QWidget(parent), m_settings(settings) {
    setObjectName(QStringLiteral("commProp"));
    setWindowTitle(str::LoadText(str::kPropertyPage));
    auto* grid = new QGridLayout(this);

    m_pMachineLabel = RightLabel(str::kMachineLabel, this);
    m_pMachine = new QComboBox(this);
    m_pMachine->setObjectName(QStringLiteral("machine"));
    m_pMachineNote = new QLabel(this);
    m_pMachineNote->setObjectName(QStringLiteral("machineNote"));
    m_pMachineNote->setWordWrap(true);
    QLabel* commLabel = RightLabel(str::kCommLabel, this);
    m_pComm = new QComboBox(this);
    m_pComm->setObjectName(QStringLiteral("comm"));
    QLabel* typeLabel = RightLabel(str::kSystemTypeLabel, this);
    m_pSystemType = new QComboBox(this);
    m_pSystemType->setObjectName(QStringLiteral("systemType"));
    m_pBaudLabel = RightLabel(str::kBaudRateLabel, this);
    m_pBaudLabel->setObjectName(QStringLiteral("baudRateLabel"));
    m_pBaud = new QComboBox(this);
    m_pBaud->setObjectName(QStringLiteral("baudRate"));

    const std::pair<QLabel*, QComboBox*> rows[] = {{m_pMachineLabel, m_pMachine}, {commLabel, m_pComm},
                                                   {typeLabel, m_pSystemType}, {m_pBaudLabel, m_pBaud}};
    int row = 0;
    for (const auto& [label, list] : rows) {
        list->setEditable(false);
        // Wide enough for "COM10  (/dev/ttyUSB10)" before the lists are filled.
        list->setMinimumContentsLength(kListCharacters);
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        list->setAccessibleName(Plain(label->text()).remove(QLatin1Char(':')));
        label->setBuddy(list);
        grid->addWidget(label, row, 0);
        grid->addWidget(list, row, 1);
        ++row;
    }
    grid->addWidget(m_pMachineNote, row++, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row, 1);
    SetMachines({});

    connect(m_pSystemType, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_bFilling) OnSystemTypeChanged();
    });
    connect(m_pMachine, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_bFilling) OnMachineChosen();
    });
}

void CCommProp::SetMachines(std::vector<Machine> machines) {
    m_machines = std::move(machines);
    const bool filling = m_bFilling;
    m_bFilling = true;
    m_pMachine->clear();
    m_pMachine->addItem(str::LoadText(str::kNoMachine));
    for (const Machine& machine : m_machines) m_pMachine->addItem(QString::fromStdString(machine.name));
    m_bFilling = filling;
    m_pMachineLabel->setVisible(!m_machines.empty());
    m_pMachine->setVisible(!m_machines.empty());
    m_pMachineNote->hide();
}

void CCommProp::OnMachineChosen() {
    m_pMachineNote->hide();
    const int index = m_pMachine->currentIndex() - 1;
    if (index < 0 || index >= static_cast<int>(m_machines.size())) return;
    const Machine& machine = m_machines[static_cast<size_t>(index)];
    m_pSystemType->setCurrentIndex(machine.family);
    if (m_pBaud->isVisibleTo(this)) m_pBaud->setCurrentIndex(machine.baudIndex);
    baudRate = machine.baudIndex;
    for (int row = 0; row < m_pComm->count(); ++row) {
        if (m_settings.portList[static_cast<size_t>(row)] == static_cast<int32_t>(machine.portNumber)) {
            m_pComm->setCurrentIndex(row);
            return;
        }
    }
    m_pMachineNote->setText(str::LoadText(str::kMachinePortMissing)
                                .arg(QString::fromStdString(machine.port), QString::fromStdString(machine.name)));
    m_pMachineNote->show();
    // The sheet grows to the wrapped note rather than cutting it off.
    if (window()->isVisible()) window()->adjustSize();
}

void CCommProp::showEvent(QShowEvent* event) {
    if (!m_bInitialised) OnInitDialog();
    QWidget::showEvent(event);
}

void CCommProp::OnInitDialog() {
    m_bInitialised = true;
    m_bFilling = true;
    m_pComm->clear();
    m_pComm->addItems(PortRows(m_settings));
    m_pSystemType->clear();
    for (const ControllerFamily& family : ControllerFamilies())
        m_pSystemType->addItem(QString::fromLatin1(family.name));
    RefreshBaudList(sysType);
    // A value that names no row leaves its list without a selection.
    m_pComm->setCurrentIndex(commPort >= 0 && commPort < m_pComm->count() ? commPort : -1);
    m_pSystemType->setCurrentIndex(sysType >= 0 && sysType < m_pSystemType->count() ? sysType : -1);
    m_bFilling = false;
}

void CCommProp::ReadSelections() {
    commPort = m_pComm->currentIndex();
    sysType = m_pSystemType->currentIndex();
    baudRate = m_pBaud->currentIndex();
}

void CCommProp::RefreshBaudList(int forSysType) {
    const QStringList rows = BaudRows(forSysType);
    if (rows.isEmpty()) {
        // The list keeps its rows and selection while hidden.
        m_pBaudLabel->hide();
        m_pBaud->hide();
        return;
    }
    const bool wasFilling = m_bFilling;
    m_bFilling = true;
    m_pBaud->clear();
    m_pBaud->addItems(rows);
    m_pBaud->setCurrentIndex(baudRate >= 0 && baudRate < m_pBaud->count() ? baudRate : -1);
    m_bFilling = wasFilling;
    m_pBaudLabel->show();
    m_pBaud->show();
}

void CCommProp::OnSystemTypeChanged() {
    ReadSelections();
    RefreshBaudList(sysType);
}

bool CCommProp::OnOK() {
    ReadSelections();
    // The place is kept for the "CommPort" key; the number says which port
    // it was, should the list be different at the next start.
    CommSettings chosen = m_settings;
    chosen.commPort = commPort;
    return WriteProfile({commPort, sysType, baudRate}, chosen.GetPortNumber());
}

CSettingsSheet::CSettingsSheet(const CommSettings& settings, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("settingsSheet"));
    setWindowTitle(str::LoadText(str::kSettingsCaption));
    setModal(true);
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("pages"));
    m_pPage = new CCommProp(settings, tabs);
    tabs->addTab(m_pPage, str::LoadText(str::kPropertyPage));
    tabs->setCurrentIndex(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    for (QAbstractButton* button : buttons->buttons()) button->setAccessibleName(Plain(button->text()));
    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingsSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
}

void CSettingsSheet::accept() {
    m_bStored = m_pPage->OnOK();
    QDialog::accept();
}

}  // namespace quorlin
