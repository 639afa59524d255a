#pragma once
// Edit > Go To: a modal box that takes a line number or a block number
// (N word); OK stays disabled until the text is one of them.

#include <QDialog>
#include <optional>

#include "app/BlockNumbers.h"

class QLineEdit;
class QPushButton;

namespace quorlin {

class CGoToDlg : public QDialog {
    Q_OBJECT
public:
    explicit CGoToDlg(QWidget* parent);

    QLineEdit* TargetBox() const { return m_pTarget; }
    std::optional<GoToTarget> Target() const;

private:
    QLineEdit* m_pTarget;
    QPushButton* m_pOk;
};

}  // namespace quorlin
