#pragma once
// The About box, run modally by Help > About.

#include <QDialog>

namespace quorlin {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace quorlin
