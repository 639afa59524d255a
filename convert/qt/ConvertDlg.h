#pragma once
// The Convert dialog: one or two sources into an update file (and for one
// target type a ROM image). Modeless; any number may be open at once.
//
// Use: (new CConvertDlg(mainWindow))->show(). The dialog is owned by and
// centred on the main window, and deletes itself when it closes.

#include <QDialog>

namespace quorlin {

class CConvertDlg : public QDialog {
    Q_OBJECT
public:
    explicit CConvertDlg(QWidget* mainWindow);
};

}  // namespace quorlin
