#include "convert/qt/BatchConvertDlg.h"

namespace quorlin {

CBatchConvertDlg::CBatchConvertDlg(QWidget* mainWindow) : QDialog(mainWindow) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Batch convert"));
}

}  // namespace quorlin
