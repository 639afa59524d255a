#pragma once
// The Convert dialog: one or two sources into an update file (and for one
// target type a ROM image). Modeless; any number may be open at once.
//
// Use: (new CConvertDlg(mainWindow))->show(). The dialog is owned by and
// centred on the main window, and deletes itself when it closes. It opens with
// the target, target type, version and date of the last Convert, and its
// source choosers start in the folder a source was last chosen from.
//
// Convert hands the boxes' texts to RunConversion and shows the messages it
// returns; large sources are converted off the GUI thread (ConverterDialog).

#include "convert/Converter.h"
#include "convert/qt/ConverterDialog.h"

class QComboBox;
class QLineEdit;

namespace quorlin {

class CDropEdit;

class CConvertDlg : public ConverterDialog {
    Q_OBJECT
public:
    explicit CConvertDlg(QWidget* mainWindow);

    // The handler of "DropSrcFileMsg": index 0 goes to the first source box,
    // index 1 to the second, other indices change nothing.
    void OnDropSrcFile(int index, const QString& path);

    // The texts of the boxes and the list's row, as the conversion takes them.
    ConvertRequest RequestFromControls() const;

private:
    void BuildControls();
    void OnBrowseSource(QLineEdit& box);
    void OnBrowseTarget();
    void OnConvert();

    CDropEdit* m_pSource1 = nullptr;
    CDropEdit* m_pSource2 = nullptr;
    QLineEdit* m_pTargetDir = nullptr;
    QComboBox* m_pTargetType = nullptr;
    QLineEdit* m_pVersion = nullptr;
    QLineEdit* m_pDate = nullptr;
};

}  // namespace quorlin
