#pragma once
// The Batch convert dialog: every ".bin" or ".dat" file of a folder into a
// ROM image and, where a tag is given, an update file. Modeless; several may
// be open at once.
//
// Use: (new CBatchConvertDlg(mainWindow))->show(). The dialog is owned by and
// centred on the main window, and deletes itself when it closes.

#include <QDialog>

namespace quorlin {

class CBatchConvertDlg : public QDialog {
    Q_OBJECT
public:
    explicit CBatchConvertDlg(QWidget* mainWindow);
};

}  // namespace quorlin
