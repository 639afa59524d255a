#include "convert/qt/ConvertDlg.h"

namespace quorlin {

CConvertDlg::CConvertDlg(QWidget* mainWindow) : QDialog(mainWindow) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Convert"));
}

}  // namespace quorlin
