#pragma once
// Asks how to renumber blocks: start, step, digits, and whether blocks
// without an N word get one. Starts with the remembered choice.

#include <QDialog>

#include "nc/NcTools.h"

class QCheckBox;
class QSpinBox;

namespace quorlin {

class CRenumberDlg : public QDialog {
    Q_OBJECT
public:
    CRenumberDlg(const nc::RenumberOptions& options, QWidget* parent = nullptr);

    nc::RenumberOptions Options() const;

private:
    QSpinBox* m_pStart;
    QSpinBox* m_pStep;
    QSpinBox* m_pWidth;
    QCheckBox* m_pUnnumbered;
};

}  // namespace quorlin
