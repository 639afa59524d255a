#pragma once
// The modeless Find and Replace dialogs: find what, match case, whole word,
// direction (Find only); replace with, Replace, Replace All (Replace only).
// The dialog only gathers the request; CFindReplace carries it out.

#include <QDialog>
#include <QList>

#include "app/TextSearch.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quorlin {

class CFindReplaceDlg : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Find, Replace };
    CFindReplaceDlg(Mode mode, const SearchOptions& initial, QWidget* parent);

    Mode GetMode() const { return m_mode; }
    SearchOptions Options() const;
    QString ReplaceWith() const;
    // The line under the fields: the search went round, Replace All's count.
    void ShowStatus(const QString& text);

signals:
    void findNext();
    // Shift+F3 in the dialog: the same search in the other direction.
    void findPrevious();
    void replaceNext();
    void replaceAll();

private:
    void UpdateButtons();

    Mode m_mode;
    QLineEdit* m_pWhat;
    QLineEdit* m_pWith = nullptr;
    QCheckBox* m_pWholeWord;
    QCheckBox* m_pMatchCase;
    QRadioButton* m_pUp = nullptr;
    QLabel* m_pStatus;
    QList<QPushButton*> m_needText;
};

}  // namespace quorlin
