#include "ui/AboutDlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "ui/WebLinkLabel.h"

namespace quorlin {

namespace {

const char* const kTitle = "About Quorlin";
const char* const kVersionText = "Quorlin Version 1.74";
const char* const kNotice = "Copyright (C) Morvale CNC. All rights reserved.";
const char* const kCompanyLine = "Morvale CNC on the web";
const char* const kMakerAddress = "https://www.example.com/";
const char* const kWebLinkToolTip = "Company web site...";  // string 42830

constexpr int kIconExtent = 32;

QLabel* AddText(QWidget* parent, const char* text, const char* objectName) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QLatin1String(objectName));
    label->setAccessibleName(label->text());
    return label;
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kTitle));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    const QIcon programIcon = QApplication::windowIcon().isNull()
                                  ? style()->standardIcon(QStyle::SP_ComputerIcon)
                                  : QApplication::windowIcon();
    icon->setPixmap(programIcon.pixmap(QSize(kIconExtent, kIconExtent), devicePixelRatioF()));
    icon->setAccessibleName(QStringLiteral("Quorlin"));

    QLabel* version = AddText(this, kVersionText, "versionText");
    version->setProperty(kControlIdProperty, kVersionTextId);
    QLabel* notice = AddText(this, kNotice, "noticeText");

    m_pWebLink = new CWebLinkLabel(QString::fromLatin1(kCompanyLine), this);
    m_pWebLink->setObjectName(QStringLiteral("webLink"));
    m_pWebLink->setProperty(kControlIdProperty, kWebLinkId);
    m_pWebLink->SetLinkAddress(QString::fromLatin1(kMakerAddress));
    m_pWebLink->SetToolTipOn(true);
    m_pWebLink->SetToolTipText(QString::fromLatin1(kWebLinkToolTip));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, Qt::Vertical, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setAccessibleName(ok->text().remove(QLatin1Char('&')));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    layout->addWidget(version, 0, 1);
    layout->addWidget(notice, 1, 1);
    layout->addWidget(m_pWebLink, 2, 1, Qt::AlignLeft);
    layout->addWidget(buttons, 0, 2, 3, 1, Qt::AlignTop);
    layout->setColumnStretch(1, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Tab goes from OK to the link and back; OK has the focus first.
    setTabOrder(ok, m_pWebLink);
    ok->setFocus();
}

}  // namespace quorlin
