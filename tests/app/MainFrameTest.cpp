// The main window: menus, accelerators, toolbar, status bar, the Operation
// menu by family, enable states while a transfer runs, the split, the
// settings command, view toggles and dropped files.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <memory>

#include <signal.h>
#include <unistd.h>

#include <QElapsedTimer>

#include "app/CommProp.h"
#include "app/QuitSignals.h"
#include "app/MainFrame.h"
#include "app/Profile.h"
#include "app/QuorlinDoc.h"
#include "app/QuorlinView.h"
#include "res/CommandIds.h"
#include "tests/app/AppTestSupport.h"
#include "tests/transferui/TransferUiSupport.h"
#include "transfer/qt/CommView.h"
#include "transfer/qt/TransferSession.h"
#include "ui/CommandAction.h"

using namespace quorlin;

namespace {

QList<int> CommandIds(const QMenu* menu) {
    QList<int> ids;
    for (const QAction* action : menu->actions()) ids << CommandIdOf(action);
    return ids;
}

QToolButton* ButtonFor(QToolBar* toolbar, QAction* action) {
    return qobject_cast<QToolButton*>(toolbar->widgetForAction(action));
}

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void menusHoldTheItemsInOrder();
    void acceleratorsIncludeTheExtraKeys();
    void paneKeysMoveTheFocus();
    void toolbarButtonsTooltipsAndPrompts();
    void statusBarShowsReadyAndIndicators();
    void captionNamesTheDocument();
    void operationMenuByFamily_data();
    void operationMenuByFamily();
    void settingsChangeFrom3To0RebuildsTheMenu();
    void settingsSheetOkAppliesAndCancelChangesNothing();
    void settingsThatCannotBeStoredAreReported();
    void transferCommandsAreDisabledWhileBusy();
    void aReceiveMakesTheFrameBusy();
    void sendCurrentFileAsksFirst();
    void sendFileUsesItsDialog();
    void aWholeSendFileFromTheMenu();
    void splitGivesTheEditorTwoThirds();
    void viewCommandsToggleTheBars();
    void droppedFilesAreOpenedInTurn();
    void closingAsksToSaveAModifiedDocument();
    void leavingDuringAReceiveAsksThenCancelsIt();
    void aQuitSignalCancelsTheReceiveWithoutAsking();
    void portsPluggedInLaterAreFound();
    void everyControlHasAName();
    void screenshotOfTheMainWindow();

private:
    std::unique_ptr<test::PtyPorts> m_ports;
    test::ModalMessageCloser m_closer;
    test::FakePrompts m_prompts;
    std::unique_ptr<CMainFrame> m_frame;
    QTemporaryDir m_files;

    CMainFrame& MakeFrame();
    // A Block receive under way into target, with a line of the program stored.
    void StartReceiving(test::Simulator& sim, const QString& target);
};

void MainFrameTest::init() {
    test::ClearProfile();
    m_ports = std::make_unique<test::PtyPorts>(std::initializer_list<unsigned>{1, 3});
    m_prompts = test::FakePrompts();
}

void MainFrameTest::cleanup() {
    m_frame.reset();
    m_ports.reset();
}

CMainFrame& MainFrameTest::MakeFrame() {
    m_frame = std::make_unique<CMainFrame>(m_prompts);
    m_frame->Document().NewDocument();
    return *m_frame;
}

void MainFrameTest::menusHoldTheItemsInOrder() {
    CMainFrame& frame = MakeFrame();
    const QList<QAction*> popups = frame.menuBar()->actions();
    QStringList titles;
    for (QAction* popup : popups) titles << popup->text();
    QCOMPARE(titles, (QStringList{"&File", "&Edit", "&View", "&Operation", "&Tool", "&Help"}));
    QCOMPARE(CommandIds(popups[0]->menu()), (QList<int>{57600, 57601, 57603, 57604, 0, 57665}));
    QCOMPARE(CommandIds(popups[1]->menu()),
             (QList<int>{57643, 0, 57635, 57634, 57637, 57642, 0, 57636, 57640, 57641}));
    QCOMPARE(CommandIds(popups[2]->menu()), (QList<int>{59392, 59393}));
    QCOMPARE(CommandIds(popups[3]->menu()), (QList<int>{32791, 32792, 0, 32793, 0, 32787, 32803}));
    QCOMPARE(CommandIds(popups[4]->menu()), (QList<int>{32771, 32800, 32804}));
    QCOMPARE(CommandIds(popups[5]->menu()), (QList<int>{57664}));
    QCOMPARE(frame.Action(cmd::kFileNew)->text(), QStringLiteral("&New\tCtrl+N"));
    QCOMPARE(frame.Action(cmd::kEditSelectAll)->text(), QStringLiteral("Select A&ll\tCtrl+A"));
    QCOMPARE(frame.Action(cmd::kEditFindNext)->text(), QStringLiteral("F&ind Next\tF3"));
    QCOMPARE(frame.Action(cmd::kSendCurrentFile)->text(), QStringLiteral("Send &Current File"));
    QCOMPARE(frame.Action(cmd::kBatchConvert)->text(), QStringLiteral("Batch convert"));
    QCOMPARE(frame.Action(cmd::kAppAbout)->text(), QStringLiteral("&About Quorlin..."));
}

void MainFrameTest::acceleratorsIncludeTheExtraKeys() {
    CMainFrame& frame = MakeFrame();
    auto keys = [&frame](int id) { return frame.Action(id)->shortcuts(); };
    QVERIFY(keys(cmd::kEditUndo).contains(QKeySequence("Ctrl+Z")));
    QVERIFY(keys(cmd::kEditUndo).contains(QKeySequence("Alt+Backspace")));
    QVERIFY(keys(cmd::kEditCut).contains(QKeySequence("Shift+Del")));
    QVERIFY(keys(cmd::kEditCopy).contains(QKeySequence("Ctrl+Ins")));
    QVERIFY(keys(cmd::kEditPaste).contains(QKeySequence("Shift+Ins")));
    QVERIFY(keys(cmd::kEditFindNext).contains(QKeySequence(Qt::Key_F3)));
    QVERIFY(keys(cmd::kEditReplace).contains(QKeySequence("Ctrl+H")));
    QVERIFY(keys(cmd::kNextPane).contains(QKeySequence(Qt::Key_F6)));
    QVERIFY(keys(cmd::kPrevPane).contains(QKeySequence("Shift+F6")));
}

void MainFrameTest::paneKeysMoveTheFocus() {
    CMainFrame& frame = MakeFrame();
    frame.show();
    frame.activateWindow();
    if (!QTest::qWaitForWindowActive(&frame)) QSKIP("the window system did not make the window active");
    frame.GetEditorView()->setFocus();
    QTRY_VERIFY(frame.GetEditorView()->hasFocus());
    QTest::keyClick(frame.GetEditorView(), Qt::Key_F6);
    QTRY_VERIFY(frame.GetCommView()->hasFocus());
    QTest::keyClick(frame.GetCommView(), Qt::Key_F6, Qt::ShiftModifier);
    QTRY_VERIFY(frame.GetEditorView()->hasFocus());
}

void MainFrameTest::toolbarButtonsTooltipsAndPrompts() {
    CMainFrame& frame = MakeFrame();
    QList<int> ids;
    for (QAction* action : frame.ToolBar()->actions()) ids << CommandIdOf(action);
    QCOMPARE(ids, (QList<int>{57600, 57601, 57603, 0, 57635, 57634, 57637, 0, 32791, 32792, 32793, 32771, 0, 57664}));
    QCOMPARE(frame.Action(cmd::kSendFile)->toolTip(), QStringLiteral("Send File"));
    QCOMPARE(frame.Action(cmd::kSendCurrentFile)->toolTip(), QStringLiteral("Send Current File"));
    QCOMPARE(frame.Action(cmd::kReceiveFile)->toolTip(), QStringLiteral("Receive File"));
    QCOMPARE(frame.Action(cmd::kSettings)->toolTip(), QStringLiteral("Property"));
    QCOMPARE(frame.Action(cmd::kDownloadInterface)->statusTip(), QStringLiteral("Download Interface"));
    QCOMPARE(frame.Action(cmd::kBatchConvert)->statusTip(), QStringLiteral("Batch converter"));
    QCOMPARE(frame.Action(cmd::kFileNew)->toolTip(), QStringLiteral("New"));

    frame.show();
    // Pointing at a command shows its prompt in the status bar.
    frame.Action(cmd::kSendFile)->showStatusText(frame.ToolBar());
    QCOMPARE(frame.statusBar()->currentMessage(), QStringLiteral("Send File"));
    frame.statusBar()->clearMessage();
}

void MainFrameTest::statusBarShowsReadyAndIndicators() {
    CMainFrame& frame = MakeFrame();
    frame.show();
    auto* ready = frame.statusBar()->findChild<QLabel*>(QStringLiteral("ready"));
    QVERIFY(ready);
    QCOMPARE(ready->text(), QStringLiteral("Ready"));
    QVERIFY(ready->isVisible());
    for (const char* name : {"CAP", "NUM", "SCRL"}) {
        auto* pane = frame.statusBar()->findChild<QLabel*>(QString::fromLatin1(name));
        QVERIFY2(pane, name);
        QCOMPARE(pane->text(), QString::fromLatin1(name));
    }
}

void MainFrameTest::captionNamesTheDocument() {
    CMainFrame& frame = MakeFrame();
    QCOMPARE(frame.windowTitle(), QStringLiteral("Quorlin1.74 - Untitled"));
    const QString path = test::WriteFile(m_files, "PART7.nc", "G01\r\n");
    QVERIFY(frame.Document().OpenDocument(path));
    QCOMPARE(frame.windowTitle(), QStringLiteral("Quorlin1.74 - PART7.nc"));
}

void MainFrameTest::operationMenuByFamily_data() {
    QTest::addColumn<int>("sysType");
    QTest::addColumn<QList<int>>("added");
    QTest::newRow("0") << 0 << QList<int>{32787, 32803};
    QTest::newRow("1") << 1 << QList<int>{32787, 32803};
    QTest::newRow("2") << 2 << QList<int>{32801};
    QTest::newRow("3") << 3 << QList<int>{32805, 32806, 32807};
    QTest::newRow("4") << 4 << QList<int>{32805, 32806, 32807};
    QTest::newRow("7") << 7 << QList<int>{};
}

void MainFrameTest::operationMenuByFamily() {
    QFETCH(int, sysType);
    QFETCH(QList<int>, added);
    test::SetProfileValue("SysType", sysType);
    CMainFrame& frame = MakeFrame();
    QCOMPARE(CommandIds(frame.OperationMenu()), (QList<int>{32791, 32792, 0, 32793, 0} + added));
    if (sysType == 2) QCOMPARE(frame.OperationMenu()->actions().size(), 6);
}

void MainFrameTest::settingsChangeFrom3To0RebuildsTheMenu() {
    test::SetProfileValue("SysType", 3);
    test::SetProfileValue("BaudRate", 1);
    CMainFrame& frame = MakeFrame();
    QCOMPARE(frame.Settings().baud, 115200);
    frame.ApplySettings({0, 0, -1});
    QCOMPARE(CommandIds(frame.OperationMenu()), (QList<int>{32791, 32792, 0, 32793, 0, 32787, 32803}));
    QCOMPARE(frame.OperationMenu()->actions().at(5)->text(), QStringLiteral("Download Interface"));
    QCOMPARE(frame.OperationMenu()->actions().at(6)->text(), QStringLiteral("Update 57F/57QV/66G software"));
    QCOMPARE(frame.Settings().baud, 9600);
    QVERIFY(!frame.Action(cmd::kDownChnFont));
    // The new items run their downloads with the family's kinds.
    QVERIFY(frame.Action(cmd::kUpdate57F)->isEnabled());
}

void MainFrameTest::settingsSheetOkAppliesAndCancelChangesNothing() {
    test::SetProfileValue("SysType", 3);
    CMainFrame& frame = MakeFrame();
    QCOMPARE(frame.Settings().portList[0], 1);
    QCOMPARE(frame.Settings().portList[1], 3);

    // Cancel after changes: nothing read, written or applied.
    QTimer::singleShot(0, this, [] {
        auto* sheet = qobject_cast<CSettingsSheet*>(QApplication::activeModalWidget());
        QVERIFY(sheet);
        sheet->Page().SystemTypeList()->setCurrentIndex(2);
        sheet->Page().CommList()->setCurrentIndex(1);
        sheet->reject();
    });
    frame.Action(cmd::kSettings)->trigger();
    QCOMPARE(frame.Settings().sysType, 3);
    QCOMPARE(frame.Settings().commPort, 0);
    QCOMPARE(test::ProfileValue("SysType").toInt(), 3);
    QVERIFY(!test::ProfileValue("CommPort").isValid());

    // OK: written to the profile, applied, the menu rebuilt.
    QTimer::singleShot(0, this, [] {
        auto* sheet = qobject_cast<CSettingsSheet*>(QApplication::activeModalWidget());
        QVERIFY(sheet);
        test::SaveScreenshot(sheet, QStringLiteral("settings-sheet"));
        sheet->Page().SystemTypeList()->setCurrentIndex(2);
        sheet->Page().CommList()->setCurrentIndex(1);
        sheet->accept();
    });
    frame.Action(cmd::kSettings)->trigger();
    QCOMPARE(frame.Settings().sysType, 2);
    QCOMPARE(frame.Settings().commPort, 1);
    QCOMPARE(frame.GetPortNumber(), 3u);
    QCOMPARE(test::ProfileValue("SysType").toInt(), 2);
    QCOMPARE(test::ProfileValue("CommPort").toInt(), 1);
    QCOMPARE(CommandIds(frame.OperationMenu()), (QList<int>{32791, 32792, 0, 32793, 0, 32801}));
}

void MainFrameTest::settingsThatCannotBeStoredAreReported() {
    CMainFrame& frame = MakeFrame();
    // A folder where the profile's file belongs: nothing can be written.
    const QString profile = ProfileLocation();
    QFile::remove(profile);
    QVERIFY(QDir().mkpath(profile));
    QTimer::singleShot(0, this, [] {
        auto* sheet = qobject_cast<CSettingsSheet*>(QApplication::activeModalWidget());
        QVERIFY(sheet);
        sheet->Page().SystemTypeList()->setCurrentIndex(2);
        sheet->accept();
    });
    frame.Action(cmd::kSettings)->trigger();
    QDir(profile).removeRecursively();
    QCOMPARE(frame.Settings().sysType, 2);  // applied for this run all the same
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    QVERIFY(m_prompts.messages[0].text.startsWith(QStringLiteral("The settings could not be stored in ")));
    QCOMPARE(m_prompts.messages[0].caption, QStringLiteral("Error"));
}

void MainFrameTest::transferCommandsAreDisabledWhileBusy() {
    test::SetProfileValue("SysType", 3);
    CMainFrame& frame = MakeFrame();
    frame.show();
    const QList<int> disabled = {32771, 32791, 32792, 32793, 32805, 32806, 32807};
    frame.SetBusy(1);
    for (int id : disabled) {
        QVERIFY2(!frame.Action(id)->isEnabled(), qPrintable(QString::number(id)));
        if (QToolButton* button = ButtonFor(frame.ToolBar(), frame.Action(id))) QVERIFY(!button->isEnabled());
    }
    QVERIFY(frame.Action(cmd::kConvert)->isEnabled());
    QVERIFY(frame.Action(cmd::kBatchConvert)->isEnabled());
    QVERIFY(frame.Action(cmd::kFileNew)->isEnabled());
    // A key that still reaches a disabled command does nothing.
    frame.OnCommand(cmd::kSendFile);
    QVERIFY(m_prompts.dialogs.empty());

    // The family's other items are disabled as well after a rebuild.
    frame.ApplySettings({0, 2, -1});
    QVERIFY(!frame.Action(cmd::kUpdateP70)->isEnabled());

    frame.SetBusy(0);
    for (int id : {32771, 32791, 32792, 32793, 32801}) {
        QVERIFY2(frame.Action(id)->isEnabled(), qPrintable(QString::number(id)));
        if (QToolButton* button = ButtonFor(frame.ToolBar(), frame.Action(id))) QVERIFY(button->isEnabled());
    }
}

void MainFrameTest::aReceiveMakesTheFrameBusy() {
    test::SetProfileValue("SysType", 1);
    CMainFrame& frame = MakeFrame();
    frame.show();
    QSignalSpy busy(&frame.Session(), &TransferSession::busyChanged);
    m_prompts.paths.push_back(m_files.filePath("received.nc"));
    frame.Action(cmd::kReceiveFile)->trigger();
    QCOMPARE(m_prompts.dialogs.size(), size_t(1));
    QVERIFY(m_prompts.dialogs[0].mode == FileDialogRequest::Mode::Save);
    QVERIFY(!busy.isEmpty());
    QCOMPARE(busy.front().front().toBool(), true);
    QTRY_VERIFY(frame.Session().IsBusy() == !frame.Action(cmd::kSendFile)->isEnabled());
    if (frame.Session().IsBusy()) {
        QVERIFY(!frame.Action(cmd::kSettings)->isEnabled());
        QVERIFY(!ButtonFor(frame.ToolBar(), frame.Action(cmd::kReceiveFile))->isEnabled());
        QVERIFY(frame.Action(cmd::kConvert)->isEnabled());
    }
}

void MainFrameTest::sendCurrentFileAsksFirst() {
    CMainFrame& frame = MakeFrame();
    frame.show();
    QSignalSpy busy(&frame.Session(), &TransferSession::busyChanged);
    frame.GetEditorView()->setPlainText(QStringLiteral("G01 X1"));
    m_prompts.answers.push_back(PromptAnswer::Cancel);
    frame.Action(cmd::kSendCurrentFile)->trigger();
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    QCOMPARE(m_prompts.messages[0].text, QStringLiteral("Send current opened file?"));
    QCOMPARE(m_prompts.messages[0].caption, QStringLiteral("Prompt"));
    QVERIFY(m_prompts.messages[0].buttons == PromptButtons::OkCancel);
    QVERIFY(m_prompts.messages[0].icon == PromptIcon::Information);
    QVERIFY(busy.isEmpty());

    m_prompts.answers.push_back(PromptAnswer::Ok);
    frame.Action(cmd::kSendCurrentFile)->trigger();
    QVERIFY(!busy.isEmpty());
    QCOMPARE(busy.front().front().toBool(), true);
}

void MainFrameTest::sendFileUsesItsDialog() {
    CMainFrame& frame = MakeFrame();
    QSignalSpy busy(&frame.Session(), &TransferSession::busyChanged);
    frame.Action(cmd::kSendFile)->trigger();  // cancelled: nothing happens
    QCOMPARE(m_prompts.dialogs.size(), size_t(1));
    QCOMPARE(m_prompts.dialogs[0].title, QStringLiteral("Select Send File"));
    QVERIFY(busy.isEmpty());

    m_prompts.paths.push_back(test::WriteFile(m_files, "send.nc", "G01 X1\r\nM30\r\n"));
    frame.Action(cmd::kSendFile)->trigger();
    QVERIFY(!busy.isEmpty());

    // The downloads ask with their own dialogs and kinds.
    frame.SetBusy(0);
    frame.Action(cmd::kUpdate57F)->trigger();
    QCOMPARE(m_prompts.dialogs.back().title, QStringLiteral("Select Software"));
}

void MainFrameTest::aWholeSendFileFromTheMenu() {
    m_ports.reset();  // the simulator's ports folder becomes the whole port map
    test::Simulator sim;
    QVERIFY(sim.Start(1));  // Block protocol
    test::SetProfileValue("SysType", 1);
    CMainFrame& frame = MakeFrame();
    frame.show();
    frame.GetCommView()->OnInitialUpdate();
    QSignalSpy shown(&frame.Session(), &TransferSession::progressCreated);
    QSignalSpy gone(&frame.Session(), &TransferSession::progressDestroyed);
    m_prompts.paths.push_back(test::WriteFile(m_files, "part.nc", "n1 g01 x1\r\n\r\nm30\r\n"));

    frame.Action(cmd::kSendFile)->trigger();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.front().at(1).toString(), QStringLiteral("COM1"));
    const QString stored = sim.Reports(QStringLiteral("stored program"));
    QVERIFY2(!stored.isEmpty(), qPrintable(sim.Output()));
    QCOMPARE(test::Simulator::ReadFile(test::Simulator::StoredPath(stored)), QByteArray("N1G01X1\nM30\n\n"));
    QTRY_VERIFY_WITH_TIMEOUT(!frame.Session().IsBusy(), 10000);

    QCOMPARE(gone.size(), 1);
    const QString log = frame.GetCommView()->toPlainText();
    QVERIFY2(log.contains(QStringLiteral("Begin to send file")), qPrintable(log));
    QVERIFY2(log.contains(QStringLiteral("File sending completed")), qPrintable(log));
    QTRY_VERIFY(frame.Action(cmd::kSendFile)->isEnabled());
}

void MainFrameTest::splitGivesTheEditorTwoThirds() {
    CMainFrame& frame = MakeFrame();
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    const QList<int> sizes = frame.Splitter()->sizes();
    QCOMPARE(sizes.size(), 2);
    const int total = frame.Splitter()->height();
    const int third = total / 3;
    // The handle's width comes off the two panes in proportion.
    QVERIFY2(qAbs(sizes[0] - 2 * third) <= frame.Splitter()->handleWidth() + 1,
             qPrintable(QStringLiteral("%1 of %2").arg(sizes[0]).arg(total)));
    QVERIFY2(qAbs(sizes[1] - third) <= frame.Splitter()->handleWidth() + 1,
             qPrintable(QStringLiteral("%1 of %2").arg(sizes[1]).arg(total)));
    QCOMPARE(frame.Splitter()->widget(0), static_cast<QWidget*>(frame.GetEditorView()));
    QCOMPARE(frame.Splitter()->widget(1), static_cast<QWidget*>(frame.GetCommView()));
}

void MainFrameTest::viewCommandsToggleTheBars() {
    CMainFrame& frame = MakeFrame();
    frame.show();
    QVERIFY(frame.Action(cmd::kViewToolbar)->isChecked());
    frame.Action(cmd::kViewToolbar)->trigger();
    QVERIFY(frame.ToolBar()->isHidden());
    frame.UpdateCommandStates();
    QVERIFY(!frame.Action(cmd::kViewToolbar)->isChecked());
    frame.Action(cmd::kViewStatusBar)->trigger();
    QVERIFY(frame.statusBar()->isHidden());
    frame.Action(cmd::kViewStatusBar)->trigger();
    frame.Action(cmd::kViewToolbar)->trigger();
    QVERIFY(!frame.ToolBar()->isHidden());
    QVERIFY(!frame.statusBar()->isHidden());
}

void MainFrameTest::droppedFilesAreOpenedInTurn() {
    CMainFrame& frame = MakeFrame();
    frame.setAcceptDrops(true);
    frame.show();
    const QString first = test::WriteFile(m_files, "first.nc", "N1\r\n");
    const QString second = test::WriteFile(m_files, "second.nc", "N2\r\n");
    frame.GetEditorView()->insertPlainText(QStringLiteral("typed"));
    QVERIFY(frame.Document().IsModified());
    // Save changes? No: the document is replaced, then again by the next file.
    m_prompts.answers.push_back(PromptAnswer::No);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject&>(frame).event(&drop);  // as the drag manager delivers it
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    QCOMPARE(m_prompts.messages[0].text, QStringLiteral("Save changes to Untitled?"));
    QCOMPARE(frame.Document().Title(), QStringLiteral("second.nc"));
    QCOMPARE(frame.GetEditorView()->Text(), QStringLiteral("N2\n"));

    // Cancel keeps the modified document.
    frame.GetEditorView()->insertPlainText(QStringLiteral("more"));
    m_prompts.answers.push_back(PromptAnswer::Cancel);
    static_cast<QObject&>(frame).event(&drop);  // as the drag manager delivers it
    QCOMPARE(frame.Document().Title(), QStringLiteral("second.nc"));
    QVERIFY(frame.GetEditorView()->Text().contains(QStringLiteral("more")));
}

void MainFrameTest::closingAsksToSaveAModifiedDocument() {
    CMainFrame& frame = MakeFrame();
    frame.show();
    frame.GetEditorView()->insertPlainText(QStringLiteral("G01"));
    m_prompts.answers.push_back(PromptAnswer::Cancel);
    QVERIFY(!frame.close());
    QVERIFY(frame.isVisible());
    m_prompts.answers.push_back(PromptAnswer::No);
    QVERIFY(frame.close());
    QCOMPARE(m_prompts.messages.size(), size_t(2));
}

void MainFrameTest::everyControlHasAName() {
    CMainFrame& frame = MakeFrame();
    frame.show();
    QVERIFY(!frame.GetEditorView()->accessibleName().isEmpty());
    QVERIFY(!frame.GetCommView()->accessibleName().isEmpty());
    for (QToolButton* button : frame.ToolBar()->findChildren<QToolButton*>()) {
        if (!button->defaultAction()) continue;
        QVERIFY(!button->text().isEmpty() || !button->accessibleName().isEmpty());
    }
    // Every menu item has a mnemonic for the keyboard.
    for (QAction* popup : frame.menuBar()->actions()) {
        QVERIFY(popup->text().contains(QLatin1Char('&')));
    }
}

void MainFrameTest::screenshotOfTheMainWindow() {
    if (qEnvironmentVariableIsEmpty("QUORLIN_SCREENSHOT_DIR")) QSKIP("QUORLIN_SCREENSHOT_DIR is not set");
    test::SetProfileValue("SysType", 3);
    CMainFrame& frame = MakeFrame();
    const QString path = test::WriteFile(
        m_files, "O0001.nc",
        "%\r\nO0001 (DEMO PART)\r\nN10 G21 G90 G17\r\nN20 T1 M06 (6 MM END MILL)\r\nN30 S2400 M03\r\n"
        "N40 G00 X0 Y0 Z5.\r\nN50 G01 Z-1. F100\r\nN60 X40. Y20. F300\r\nN70 G02 X60. Y0 R20.\r\n"
        "N80 G01 X0\r\nN90 G00 Z5.\r\nN100 M05\r\nN110 M30\r\n%\r\n");
    QVERIFY(frame.Document().OpenDocument(path));
    frame.resize(900, 620);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    frame.GetCommView()->setPlainText(QStringLiteral(
        "\n2026 12 08, 09:14:02   Begin to send file\n\n2026 12 08, 09:14:05   File sending completed\n"));
    frame.GetEditorView()->setFocus();
    QApplication::processEvents();
    test::SaveScreenshot(&frame, QStringLiteral("main-window"));
}

void MainFrameTest::StartReceiving(test::Simulator& sim, const QString& target) {
    QVERIFY(sim.Start(1));
    test::SetProfileValue("SysType", 1);
    CMainFrame& frame = MakeFrame();
    frame.show();
    frame.GetCommView()->OnInitialUpdate();
    m_prompts.paths.push_back(target);
    frame.Action(cmd::kReceiveFile)->trigger();
    QVERIFY(frame.Session().IsBusy());
    QVERIFY(!sim.Command(QStringLiteral("noise 4E3147300A"), QStringLiteral("noise sent")).isEmpty());  // "N1G0\n"
    QTRY_VERIFY(frame.GetCommView()->toPlainText().contains(QStringLiteral("N1G0")));
}

// Exit or closing the window while a program comes in: asked first; No keeps
// the receive going, Yes cancels it as its Cancel button does (the file keeps
// what came, the controller gets its SUB) before the window goes.
void MainFrameTest::leavingDuringAReceiveAsksThenCancelsIt() {
    m_ports.reset();
    test::Simulator sim;
    const QString target = m_files.filePath(QStringLiteral("received.nc"));
    StartReceiving(sim, target);
    CMainFrame& frame = *m_frame;

    m_prompts.answers.push_back(PromptAnswer::No);
    frame.Action(cmd::kAppExit)->trigger();
    QVERIFY(frame.isVisible());
    QVERIFY(frame.Session().IsBusy());
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    QVERIFY(m_prompts.messages[0].text.startsWith(QStringLiteral("A transfer is running. Stop it and exit?")));
    QCOMPARE(m_prompts.messages[0].caption, QStringLiteral("Prompt"));
    QCOMPARE(m_prompts.messages[0].buttons, PromptButtons::YesNo);

    m_prompts.answers.push_back(PromptAnswer::Yes);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(frame.close());
    qInfo("closed with the receive cancelled in %lld ms", static_cast<long long>(clock.elapsed()));
    QVERIFY(!frame.Session().IsBusy());
    QVERIFY(frame.GetCommView()->toPlainText().contains(QStringLiteral("File receiving cancelled")));
    QCOMPARE(test::ReadWholeFile(target), QByteArray("N1G0\r\n"));
    QVERIFY2(sim.Command(QStringLiteral("status"), QStringLiteral("status")).contains(QStringLiteral(" rx 1 ")),
             qPrintable(sim.Output()));  // the SUB, the one byte the PC sent
}

// SIGTERM (logging out, kill) ends the same way without asking.
void MainFrameTest::aQuitSignalCancelsTheReceiveWithoutAsking() {
    m_ports.reset();
    test::Simulator sim;
    const QString target = m_files.filePath(QStringLiteral("received.nc"));
    StartReceiving(sim, target);
    CMainFrame& frame = *m_frame;
    frame.GetEditorView()->insertPlainText(QStringLiteral("G01"));  // not even this is asked about
    QuitSignals quitSignals;
    QVERIFY(quitSignals.IsValid());
    connect(&quitSignals, &QuitSignals::quitRequested, &frame, &CMainFrame::EndForSignal);
    QElapsedTimer clock;
    clock.start();
    ::kill(::getpid(), SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(!frame.isVisible(), 3000);
    qInfo("SIGTERM to the receive cancelled and the window gone: %lld ms", static_cast<long long>(clock.elapsed()));
    QVERIFY(!frame.Session().IsBusy());
    QVERIFY(m_prompts.messages.empty());
    QCOMPARE(test::ReadWholeFile(target), QByteArray("N1G0\r\n"));
    QVERIFY2(sim.Command(QStringLiteral("status"), QStringLiteral("status")).contains(QStringLiteral(" rx 1 ")),
             qPrintable(sim.Output()));  // the SUB, the one byte the PC sent
}

// An adapter plugged in after start-up: the Settings sheet lists it, and a
// transfer command with no port to use looks again. With no port at all,
// the reason under "Can not open COM0 !" says so.
void MainFrameTest::portsPluggedInLaterAreFound() {
    m_ports.reset();
    m_ports = std::make_unique<test::PtyPorts>(std::initializer_list<unsigned>{});
    CMainFrame& frame = MakeFrame();
    frame.show();
    QCOMPARE(frame.GetPortNumber(), 0u);
    QSignalSpy messages(&frame.Session(), &TransferSession::messageRequested);
    m_prompts.paths.push_back(m_files.filePath(QStringLiteral("r.nc")));
    frame.Action(cmd::kReceiveFile)->trigger();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].at(0).toString(), QStringLiteral("Can not open COM0 !"));
    QVERIFY2(messages[0].at(3).toString().startsWith(QStringLiteral("No serial port was found on this computer.")),
             qPrintable(messages[0].at(3).toString()));

    m_ports.reset();  // the adapter is plugged in
    m_ports = std::make_unique<test::PtyPorts>(std::initializer_list<unsigned>{5});
    m_prompts.paths.push_back(m_files.filePath(QStringLiteral("r.nc")));
    frame.Action(cmd::kReceiveFile)->trigger();
    QCOMPARE(messages.size(), 1);
    QVERIFY(frame.Session().IsBusy());
    QCOMPARE(frame.GetPortNumber(), 5u);
    frame.Session().CancelRunningTransfer();

    m_ports.reset();
    m_ports = std::make_unique<test::PtyPorts>(std::initializer_list<unsigned>{2, 5});
    QStringList listed;
    qint64 probeMs = -1;
    QElapsedTimer clock;
    QTimer::singleShot(0, this, [&] {
        auto* sheet = qobject_cast<CSettingsSheet*>(QApplication::activeModalWidget());
        QVERIFY(sheet);
        probeMs = clock.elapsed();
        for (int i = 0; i < sheet->Page().CommList()->count(); ++i) listed << sheet->Page().CommList()->itemText(i);
        sheet->Page().CommList()->setCurrentIndex(0);
        sheet->accept();
    });
    clock.start();
    frame.Action(cmd::kSettings)->trigger();
    qInfo("Settings sheet up with the ports probed again: %lld ms", static_cast<long long>(probeMs));
    QVERIFY2(listed.size() == 2 && listed[0].startsWith(QStringLiteral("COM2")), qPrintable(listed.join(',')));
    QCOMPARE(frame.GetPortNumber(), 2u);
}

QTEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
