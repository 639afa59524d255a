#pragma once
// The status bar's caret panes: "Ln 12, Col 5" and the block number (N word)
// of the caret's line, following the editor as the caret moves.

#include <QObject>

class QLabel;
class QPlainTextEdit;
class QStatusBar;

namespace quorlin {

class CaretIndicator : public QObject {
    Q_OBJECT
public:
    // Adds the two panes to the right of the status bar.
    CaretIndicator(QPlainTextEdit& editor, QStatusBar* bar);

    QString PositionText() const;
    QString BlockText() const;

private:
    void Update();

    QPlainTextEdit& m_editor;
    QLabel* m_pPosition;
    QLabel* m_pBlock;
};

}  // namespace quorlin
