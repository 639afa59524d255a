#pragma once
// Operation > Send from Block: a modal box that picks where a program that
// stopped part-way resumes, by block number or by line, and shows at once
// which line that is or why it cannot be; Send stays disabled until it can.

#include <QByteArray>
#include <QDialog>

#include "nc/ResumePoint.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quorlin {

class CSendFromDlg : public QDialog {
    Q_OBJECT
public:
    // program: the bytes to be sent; caretLine: the editor's line (from 0),
    // whose block (or the line itself) is offered first.
    CSendFromDlg(const QByteArray& program, long caretLine, QWidget* parent);

    QLineEdit* NumberBox() const { return m_pNumber; }
    QLabel* Outcome() const { return m_pOutcome; }
    // What the chosen point resumes with (refused while none is chosen).
    const nc::ResumeText& Resume() const { return m_resume; }

private:
    void Evaluate();

    QByteArray m_program;
    nc::ResumeText m_resume;
    QRadioButton* m_pByBlock;
    QRadioButton* m_pByLine;
    QLineEdit* m_pNumber;
    QLabel* m_pOutcome;
    QPushButton* m_pSend;
};

}  // namespace quorlin
