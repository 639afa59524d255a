#pragma once
// The settings sheet: a modal "Settings" sheet with one "Property" page,
// CCommProp, whose three drop-down lists choose the port, the controller
// family and, for families 3 and 4, the baud rate. OK writes the choices to
// the profile; Cancel changes nothing.

#include <QDialog>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "transfer/CommSettings.h"
#include "transfer/Machine.h"

class QComboBox;
class QLabel;

namespace quorlin {

// The rows of the Comm list: "COM<N>" of each detected port, in portList
// order, up to the first empty place, with the device it names beside it.
QStringList PortRows(const CommSettings& settings);
// The rows of the Baud rate list for a family; empty for a family without
// a choice.
QStringList BaudRows(int sysType);

class CCommProp : public QWidget {
    Q_OBJECT
public:
    explicit CCommProp(const CommSettings& settings, QWidget* parent = nullptr);

    // Exchanged with the frame: selected rows, -1 for none.
    int32_t commPort = -1;
    int32_t sysType = -1;
    int32_t baudRate = -1;

    // The machine profiles to offer above the three lists; choosing one
    // selects its port, family and baud choice. Without any, the row stays
    // hidden.
    void SetMachines(std::vector<Machine> machines);

    // Fills the lists and shows the members' selections.
    void OnInitDialog();
    // Reads the selections back and writes them to the profile.
    bool OnOK();

    QComboBox* CommList() const { return m_pComm; }
    QComboBox* SystemTypeList() const { return m_pSystemType; }
    QComboBox* BaudList() const { return m_pBaud; }
    QLabel* BaudLabel() const { return m_pBaudLabel; }
    QComboBox* MachineList() const { return m_pMachine; }
    QLabel* MachineNote() const { return m_pMachineNote; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ReadSelections();
    void RefreshBaudList(int forSysType);
    void OnSystemTypeChanged();
    void OnMachineChosen();

    const CommSettings& m_settings;
    std::vector<Machine> m_machines;
    QLabel* m_pMachineLabel;
    QComboBox* m_pMachine;
    QLabel* m_pMachineNote;
    QComboBox* m_pComm;
    QComboBox* m_pSystemType;
    QComboBox* m_pBaud;
    QLabel* m_pBaudLabel;
    bool m_bFilling = false;
    bool m_bInitialised = false;
};

class CSettingsSheet : public QDialog {
    Q_OBJECT
public:
    CSettingsSheet(const CommSettings& settings, QWidget* parent);
    CCommProp& Page() { return *m_pPage; }
    // After OK: whether the profile took the choices.
    bool Stored() const { return m_bStored; }

    void accept() override;

private:
    CCommProp* m_pPage;
    bool m_bStored = false;
};

}  // namespace quorlin
