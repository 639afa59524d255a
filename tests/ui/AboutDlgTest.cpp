// The About box: its texts, the link on control 1020 with its address and
// tooltip, OK and the keyboard, run modally.

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include "tests/support/UrlCatcher.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/AboutDlg.h"
#include "ui/WebLinkLabel.h"

using namespace quorlin;

namespace {
constexpr int kTimeoutMs = 5000;
}

class AboutDlgTest : public QObject {
    Q_OBJECT

    test::UrlCatcher m_catcher;

private slots:
    void showsTheNameVersionNoticeAndLink() {
        CAboutDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("About Quorlin"));
        QVERIFY(dlg.isModal());
        auto* version = dlg.findChild<QLabel*>(QStringLiteral("versionText"));
        QVERIFY(version);
        QCOMPARE(version->text(), QStringLiteral("Quorlin Version 1.74"));
        QCOMPARE(version->property(CAboutDlg::kControlIdProperty).toInt(), 1021);
        auto* notice = dlg.findChild<QLabel*>(QStringLiteral("noticeText"));
        QVERIFY(notice && !notice->text().isEmpty() && !notice->text().contains(QLatin1Char('\n')));
        CWebLinkLabel* link = dlg.WebLink();
        QCOMPARE(link->property(CAboutDlg::kControlIdProperty).toInt(), 1020);
        QVERIFY(link->ToolTipOn());
        QCOMPARE(link->toolTip(), QStringLiteral("Company web site..."));
        QCOMPARE(QUrl(link->LinkAddress()).host(), QStringLiteral("www.example.com"));
        // Every control says what it is.
        for (QWidget* control : dlg.findChildren<QWidget*>())
            if (qobject_cast<QLabel*>(control) || qobject_cast<QPushButton*>(control))
                QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
    }

    void okClosesTheModalBox() {
        CAboutDlg dlg;
        QTimer::singleShot(0, &dlg, [&dlg] {
            QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    }

    void enterClosesItAndTabReachesTheLink() {
        CAboutDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg, kTimeoutMs));
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg, kTimeoutMs));
        auto* ok = dlg.findChild<QPushButton*>(QStringLiteral("okButton"));
        QTRY_VERIFY_WITH_TIMEOUT(ok->hasFocus(), kTimeoutMs);
        QTest::keyClick(ok, Qt::Key_Tab);
        QTRY_VERIFY_WITH_TIMEOUT(dlg.WebLink()->hasFocus(), kTimeoutMs);
        // Enter on the link opens the site and leaves the box open.
        QTest::keyClick(dlg.WebLink(), Qt::Key_Return);
        QCOMPARE(m_catcher.opened.size(), 1);
        QVERIFY(dlg.isVisible());
        QTest::keyClick(dlg.WebLink(), Qt::Key_Tab);
        QTRY_VERIFY_WITH_TIMEOUT(ok->hasFocus(), kTimeoutMs);
        QTest::keyClick(ok, Qt::Key_Return);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.isVisible());
    }

    void theLinkShowsItsTooltipWhenHovered() {
        CAboutDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg, kTimeoutMs));
        CWebLinkLabel* link = dlg.WebLink();
        QTest::mouseMove(link, link->rect().center());
        QTRY_VERIFY_WITH_TIMEOUT(link->IsHovering(), kTimeoutMs);
        const QPoint centre = link->rect().center();
        QHelpEvent help(QEvent::ToolTip, centre, link->mapToGlobal(centre));
        QCoreApplication::sendEvent(link, &help);
        QTRY_VERIFY_WITH_TIMEOUT(QToolTip::isVisible(), kTimeoutMs);
        QCOMPARE(QToolTip::text(), QStringLiteral("Company web site..."));
        QToolTip::hideText();
    }

    void screenshots() {
        if (qEnvironmentVariableIsEmpty("QUORLIN_SCREENSHOT_DIR")) QSKIP("QUORLIN_SCREENSHOT_DIR is not set");
        for (const auto& [name, pal] : {std::pair{"light", test::LightPalette()}, {"dark", test::DarkPalette()}}) {
            QApplication::setPalette(pal);
            CAboutDlg dlg;
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg, kTimeoutMs));
            // The pointer away from the link, which shows its first colour.
            QTest::mouseMove(&dlg, dlg.rect().bottomRight() - QPoint(2, 2));
            QTRY_VERIFY_WITH_TIMEOUT(!dlg.WebLink()->IsHovering(), kTimeoutMs);
            test::SaveScreenshot(&dlg, QStringLiteral("about-%1").arg(QLatin1String(name)));
        }
    }
};

int main(int argc, char** argv) {
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication app(argc, argv);
    AboutDlgTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AboutDlgTest.moc"
