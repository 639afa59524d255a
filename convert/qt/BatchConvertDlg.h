#pragma once
// The Batch convert dialog: every ".bin" or ".dat" file of a folder into a
// ROM image and, where a tag is given, an update file. Modeless; several may
// be open at once.
//
// Use: (new CBatchConvertDlg(mainWindow))->show(). The dialog is owned by and
// centred on the main window, and deletes itself when it closes. It opens
// with the folder last chosen with "..." (when it is still there), listed,
// and the file type ".bin".
//
// The list is the work list: the user deletes rows (Delete key) and gives
// rows a tag (select the row, then the tag). Convert hands the rows, in list
// order, to RunBatch and shows its messages; large batches run off the GUI
// thread as in the Convert dialog.

#include <vector>

#include "convert/BatchConverter.h"
#include "convert/qt/ConverterDialog.h"

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QRadioButton;
class QTableWidget;

namespace quorlin {

class CBatchConvertDlg : public ConverterDialog {
    Q_OBJECT
public:
    explicit CBatchConvertDlg(QWidget* mainWindow);

    // Rebuilds the list from the folder (its text used as it is) and the
    // file type; an empty folder leaves the list as it is.
    void RefreshFileList();

    // The work list, in list order.
    std::vector<BatchRow> RowsFromList() const;
    BatchFileType FileType() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void OnBrowseFolder();
    void OnDefaultFolder();
    void OnTagChosen(const QListWidgetItem* tag);
    void OnConvert();
    void SetFolder(const QString& folder);

    // The folder as chosen, ending in a separator once set.
    QString m_strFolder;
    QRadioButton* m_pBin = nullptr;
    QRadioButton* m_pDat = nullptr;
    QLineEdit* m_pFolder = nullptr;
    QTableWidget* m_pList = nullptr;
    QListWidget* m_pTags = nullptr;
};

}  // namespace quorlin
