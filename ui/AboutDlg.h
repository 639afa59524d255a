#pragma once
// The About box, run modally by Help > About: the program's name and
// version, a one-line notice, and a link to the maker's web site.

#include <QDialog>

namespace quorlin {

class CWebLinkLabel;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kVersionTextId = 1021;
    static constexpr int kWebLinkId = 1020;
    // Where each control's number is kept (QObject property).
    static constexpr const char* kControlIdProperty = "controlId";

    explicit CAboutDlg(QWidget* parent = nullptr);

    CWebLinkLabel* WebLink() const { return m_pWebLink; }

private:
    CWebLinkLabel* m_pWebLink = nullptr;
};

}  // namespace quorlin
