// Tool > Compare with File on the real windows: the open program against a
// received copy, the marked rows, the count, F8 and Shift+F8, the options
// and their place in the profile.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <memory>

#include "app/CompareWindow.h"
#include "app/MainFrame.h"
#include "app/QuorlinView.h"
#include "res/CommandIds.h"
#include "tests/app/AppTestSupport.h"

using namespace quorlin;

namespace {

const QString kMaster = QStringLiteral(
    "%\n"
    "O3001 (COVER PLATE)\n"
    "(T2 = DRILL D8.5)\n"
    "N10 G90 G54 G17\n"
    "N20 T2 M06\n"
    "N30 G00 X0 Y0 S1800 M03\n"
    "N40 G43 Z50. H02\n"
    "N50 G83 X20. Y15. Z-22. R2. Q4. F120\n"
    "N60 X60.\n"
    "N70 X100.\n"
    "N80 G80 G00 Z100.\n"
    "N90 M05\n"
    "N100 M30\n"
    "%\n");

// As the controller sent it back: blanks gone, renumbered, a feed changed at
// the machine and one position taken out.
const QByteArray kReceived =
    "%\r\n"
    "O3001(COVERPLATE)\r\n"
    "(T2=DRILLD8.5)\r\n"
    "N1G90G54G17\r\n"
    "N2T2M06\r\n"
    "N3G00X0Y0S1800M03\r\n"
    "N4G43Z50.H02\r\n"
    "N5G83X20.Y15.Z-22.R2.Q4.F100\r\n"
    "N6X60.\r\n"
    "N7G80G00Z100.\r\n"
    "N8M05\r\n"
    "N9M30\r\n"
    "%\r\n";

}  // namespace

class CompareWindowTest : public test::FrameTestBase {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void showsTheMachinesChangesAndStepsThroughThem();
    void aFileThatCannotBeReadSaysWhy();

private:
    std::unique_ptr<QTemporaryDir> m_files;
};

void CompareWindowTest::init() {
    StartFrameTest();
    m_files = std::make_unique<QTemporaryDir>();
    m_frame = std::make_unique<CMainFrame>(m_prompts);
    m_frame->show();
    QVERIFY(m_frame->OpenDocumentFile(test::WriteFile(*m_files, QStringLiteral("master.nc"), kMaster.toLatin1())));
}

void CompareWindowTest::cleanup() {
    EndFrameTest();
    m_files.reset();
}

void CompareWindowTest::showsTheMachinesChangesAndStepsThroughThem() {
    m_prompts.paths.push_back(test::WriteFile(*m_files, QStringLiteral("received.nc"), kReceived));
    m_frame->Action(cmd::kCompareWithFile)->trigger();
    QCOMPARE(m_prompts.dialogs.back().title, QStringLiteral("Compare with File"));
    QPointer<CCompareWindow> window = m_frame->findChild<CCompareWindow*>();
    QVERIFY(window);
    // The keys are the window's own: it must be the active one.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    auto* count = window->findChild<QLabel*>(QStringLiteral("differenceCount"));
    QCheckBox* ignoreSpaces = nullptr;
    QCheckBox* ignoreNumbers = nullptr;
    for (QCheckBox* box : window->findChildren<QCheckBox*>())
        (box->text().contains(QStringLiteral("spaces")) ? ignoreSpaces : ignoreNumbers) = box;
    QVERIFY(ignoreSpaces && ignoreNumbers);

    // Nothing ignored: every line between the '%' lines differs, one run.
    QCOMPARE(count->text(), QStringLiteral("1 difference"));

    ignoreSpaces->click();
    ignoreNumbers->click();
    QCOMPARE(count->text(), QStringLiteral("2 differences"));
    QCOMPARE(test::ProfileEntry(QStringLiteral("Compare/IgnoreSpaces")).toInt(), 1);
    QCOMPARE(test::ProfileEntry(QStringLiteral("Compare/IgnoreBlockNumbers")).toInt(), 1);

    // F8 goes to the changed feed, both panes on the same row.
    window->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), window.data());
    window->LeftPane()->setFocus();
    QTest::keyClick(window, Qt::Key_F8);
    QCOMPARE(count->text(), QStringLiteral("Difference 1 of 2"));
    QCOMPARE(window->LeftPane()->textCursor().block().text(), QStringLiteral("N50 G83 X20. Y15. Z-22. R2. Q4. F120"));
    QCOMPARE(window->RightPane()->textCursor().block().text(), QStringLiteral("N5G83X20.Y15.Z-22.R2.Q4.F100"));
    QTest::keyClick(window, Qt::Key_F8);
    QCOMPARE(window->LeftPane()->textCursor().block().text(), QStringLiteral("N70 X100."));
    QCOMPARE(window->RightPane()->textCursor().block().text(), QString());  // the line the machine lacks
    QCOMPARE(window->LeftPane()->textCursor().blockNumber(), window->RightPane()->textCursor().blockNumber());
    QTest::keyClick(window, Qt::Key_F8);  // no third: stays
    QCOMPARE(window->CurrentDifference(), 1);
    QTest::keyClick(window, Qt::Key_F8, Qt::ShiftModifier);
    QCOMPARE(window->CurrentDifference(), 0);
    test::SaveScreenshot(window, QStringLiteral("compare-window"));

    // Without ignoring block numbers the renumbered lines differ as well.
    ignoreNumbers->click();
    QCOMPARE(count->text(), QStringLiteral("1 difference"));
    QCOMPARE(window->CurrentDifference(), -1);

    // The next window starts with the remembered options; Escape closes it.
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_VERIFY(!window);
    m_prompts.paths.push_back(m_files->filePath(QStringLiteral("master.nc")));
    m_frame->Action(cmd::kCompareWithFile)->trigger();
    window = m_frame->findChild<CCompareWindow*>();
    QVERIFY(window);
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("differenceCount"))->text(), QStringLiteral("No differences"));
    for (QPushButton* button : window->findChildren<QPushButton*>())
        if (button->text().contains(QStringLiteral("Difference"))) QVERIFY(!button->isEnabled());
}

void CompareWindowTest::aFileThatCannotBeReadSaysWhy() {
    m_prompts.paths.push_back(m_files->filePath(QStringLiteral("missing.nc")));
    m_frame->Action(cmd::kCompareWithFile)->trigger();
    QCOMPARE(int(m_prompts.messages.size()), 1);
    QVERIFY(m_prompts.messages.front().text.contains(QStringLiteral("missing.nc")));
    QVERIFY(!m_frame->findChild<CCompareWindow*>());
}

QTEST_MAIN(CompareWindowTest)
#include "CompareWindowTest.moc"
