#pragma once
// Two programs side by side, line against line: the open program on the
// left, a file (typically the copy just received from the machine) on the
// right. Differing lines are marked; F8 and Shift+F8 step through the
// differences. The window holds copies of both texts and deletes itself
// when closed.

#include <QWidget>
#include <string>

#include "nc/NcCompare.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quorlin {

class CCompareWindow : public QWidget {
    Q_OBJECT
public:
    CCompareWindow(const QString& leftName, std::string leftText, const QString& rightName, std::string rightText,
                   QWidget* parent = nullptr);

    const nc::Comparison& Comparison() const { return m_comparison; }
    QPlainTextEdit* LeftPane() const { return m_pLeft; }
    QPlainTextEdit* RightPane() const { return m_pRight; }
    // The difference shown, -1 before the first step.
    int CurrentDifference() const { return m_current; }

    void NextDifference();
    void PreviousDifference();

private:
    void Recompare();
    void ShowDifference(int index);
    void UpdateCount();

    std::string m_leftText;
    std::string m_rightText;
    nc::Comparison m_comparison;
    int m_current = -1;

    QPlainTextEdit* m_pLeft;
    QPlainTextEdit* m_pRight;
    QCheckBox* m_pIgnoreSpaces;
    QCheckBox* m_pIgnoreBlockNumbers;
    QLabel* m_pCount;
    QPushButton* m_pPrevious;
    QPushButton* m_pNext;
};

}  // namespace quorlin
