// The web link label: its colours through hover, click and leave, the hand
// pointer, the tooltip rule, and opening its address by mouse and keyboard.

#include <QApplication>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QPushButton>
#include <QTest>
#include <QToolTip>
#include <QUrl>
#include <memory>

#include "tests/support/UrlCatcher.h"
#include "ui/WebLinkLabel.h"

using namespace quorlin;

namespace {
constexpr int kTimeoutMs = 5000;
const char* const kAddress = "https://www.example.com/";
}  // namespace

class WebLinkLabelTest : public QObject {
    Q_OBJECT

    test::UrlCatcher m_catcher;
    std::unique_ptr<QWidget> m_pWindow;
    QPushButton* m_pButton = nullptr;
    CWebLinkLabel* m_pLink = nullptr;

    bool Shows(const QColor& colour) {
        const QImage shot = m_pLink->grab().toImage();
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (QColor(shot.pixel(x, y)) == colour) return true;
        return false;
    }
    QPoint Outside() const { return m_pButton->geometry().center(); }

private slots:
    void init() {
        m_catcher.opened.clear();
        m_pWindow = std::make_unique<QWidget>();
        auto* layout = new QHBoxLayout(m_pWindow.get());
        m_pButton = new QPushButton(QStringLiteral("Before"), m_pWindow.get());
        m_pLink = new CWebLinkLabel(QStringLiteral("Morvale CNC on the web"), m_pWindow.get());
        m_pLink->SetLinkAddress(QString::fromLatin1(kAddress));
        layout->addWidget(m_pButton);
        layout->addWidget(m_pLink);
        m_pWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pWindow.get(), kTimeoutMs));
        m_pWindow->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_pWindow.get(), kTimeoutMs));
        QTest::mouseMove(m_pWindow.get(), Outside());
    }
    void cleanup() { m_pWindow.reset(); }

    void isUnderlinedWithTheHandPointer() {
        QVERIFY(m_pLink->font().underline());
        QCOMPARE(m_pLink->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(m_pLink->accessibleName(), QStringLiteral("Morvale CNC on the web"));
    }

    void coloursThroughHoverClickAndLeave() {
        QCOMPARE(m_pLink->TextColour(), CWebLinkLabel::kLinkColour);
        QVERIFY(Shows(CWebLinkLabel::kLinkColour));

        QTest::mouseMove(m_pLink, m_pLink->rect().center());
        QTRY_VERIFY_WITH_TIMEOUT(m_pLink->IsHovering(), kTimeoutMs);
        QCOMPARE(m_pLink->TextColour(), CWebLinkLabel::kHoverColour);
        QVERIFY(Shows(CWebLinkLabel::kHoverColour));

        QTest::mouseMove(m_pWindow.get(), Outside());
        QTRY_VERIFY_WITH_TIMEOUT(!m_pLink->IsHovering(), kTimeoutMs);
        QCOMPARE(m_pLink->TextColour(), CWebLinkLabel::kLinkColour);
        QVERIFY(Shows(CWebLinkLabel::kLinkColour));

        QTest::mouseMove(m_pLink, m_pLink->rect().center());
        QTest::mouseClick(m_pLink, Qt::LeftButton, Qt::NoModifier, m_pLink->rect().center());
        QCOMPARE(m_catcher.opened, QList<QUrl>{QUrl(QString::fromLatin1(kAddress))});
        QVERIFY(m_pLink->IsVisited());
        QCOMPARE(m_pLink->TextColour(), CWebLinkLabel::kVisitedColour);
        QVERIFY(Shows(CWebLinkLabel::kVisitedColour));
        QVERIFY(!Shows(CWebLinkLabel::kHoverColour));

        // Visited stays whether the mouse is over the label or not.
        QTest::mouseMove(m_pWindow.get(), Outside());
        QTRY_VERIFY_WITH_TIMEOUT(!m_pLink->IsHovering(), kTimeoutMs);
        QCOMPARE(m_pLink->TextColour(), CWebLinkLabel::kVisitedColour);
        QTest::mouseMove(m_pLink, m_pLink->rect().center());
        QTRY_VERIFY_WITH_TIMEOUT(m_pLink->IsHovering(), kTimeoutMs);
        QCOMPARE(m_pLink->TextColour(), CWebLinkLabel::kVisitedColour);
        QVERIFY(Shows(CWebLinkLabel::kVisitedColour));
    }

    void aPressReleasedOutsideIsNoClick() {
        QTest::mousePress(m_pLink, Qt::LeftButton, Qt::NoModifier, m_pLink->rect().center());
        QTest::mouseRelease(m_pLink, Qt::LeftButton, Qt::NoModifier, m_pLink->rect().bottomRight() + QPoint(20, 20));
        QVERIFY(m_catcher.opened.isEmpty());
        QVERIFY(!m_pLink->IsVisited());
    }

    void theTooltipTextTakesEffectOnlyWhileTheTooltipIsOn() {
        m_pLink->SetToolTipText(QStringLiteral("ignored"));
        QVERIFY(m_pLink->toolTip().isEmpty());
        m_pLink->SetToolTipOn(true);
        QVERIFY(m_pLink->toolTip().isEmpty());
        m_pLink->SetToolTipText(QStringLiteral("Company web site..."));
        QCOMPARE(m_pLink->toolTip(), QStringLiteral("Company web site..."));

        const QPoint centre = m_pLink->rect().center();
        QHelpEvent help(QEvent::ToolTip, centre, m_pLink->mapToGlobal(centre));
        QCoreApplication::sendEvent(m_pLink, &help);
        QTRY_VERIFY_WITH_TIMEOUT(QToolTip::isVisible(), kTimeoutMs);
        QCOMPARE(QToolTip::text(), QStringLiteral("Company web site..."));
        QToolTip::hideText();

        m_pLink->SetToolTipOn(false);
        QVERIFY(m_pLink->toolTip().isEmpty());
        m_pLink->SetToolTipText(QStringLiteral("changed while off"));
        m_pLink->SetToolTipOn(true);
        QCOMPARE(m_pLink->toolTip(), QStringLiteral("Company web site..."));
    }

    void theKeyboardReachesAndOpensTheLink() {
        m_pButton->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(m_pButton->hasFocus(), kTimeoutMs);
        QTest::keyClick(m_pButton, Qt::Key_Tab);
        QTRY_VERIFY_WITH_TIMEOUT(m_pLink->hasFocus(), kTimeoutMs);
        QTest::keyClick(m_pLink, Qt::Key_Return);
        QCOMPARE(m_catcher.opened.size(), 1);
        QTest::keyClick(m_pLink, Qt::Key_Space);
        QCOMPARE(m_catcher.opened.size(), 2);
        QTest::keyClick(m_pLink, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(m_catcher.opened.size(), 3);
        QCOMPARE(m_pLink->TextColour(), CWebLinkLabel::kVisitedColour);
    }
};

QTEST_MAIN(WebLinkLabelTest)
#include "WebLinkLabelTest.moc"
