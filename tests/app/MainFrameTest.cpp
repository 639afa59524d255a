// The main window: menus, accelerators, toolbar, status bar, the Operation
// menu by family, enable states while a transfer runs, the split, the
// settings command, view toggles and dropped files.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QScreen>
#include <QSettings>
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
#include "app/KeyIndicators.h"
#include "convert/UpdateFile.h"
#include "app/QuitSignals.h"
#include "app/MainFrame.h"
#include "profile/Profile.h"
#include "app/QuorlinDoc.h"
#include "app/QuorlinView.h"
#include "res/CommandIds.h"
#include "tests/app/AppTestSupport.h"
#include "tests/transfer/qt/TransferUiSupport.h"
#include "transfer/qt/CommView.h"
#include "transfer/qt/TransferSession.h"
#include "ui/CommandAction.h"

#if QUORLIN_TEST_XKB
#include <QtGui/qguiapplication_platform.h>
#include <stdlib.h>
#include <xcb/xcb.h>
// The extension's header names a member "explicit", a keyword of C++.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit
#endif

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

class MainFrameTest : public test::FrameTestBase {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void menusHoldTheItemsInOrder();
    void acceleratorsIncludeTheExtraKeys();
    void paneKeysMoveTheFocus();
    void toolbarButtonsTooltipsAndPrompts();
    void statusBarShowsReadyAndIndicators();
    void lockIndicatorsFollowTheX11KeyboardState();
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
    void everyDownloadArrivesWholeBehindTheRestore_data();
    void everyDownloadArrivesWholeBehindTheRestore();
    void splitGivesTheEditorTwoThirds();
    void viewCommandsToggleTheBars();
    void droppedFilesAreOpenedInTurn();
    void recentFilesComeBackGreyedAndDropped();
    void windowPlaceAndSplitComeBackOnTheScreen();
    void fileDialogsStartInTheFolderLastUsedForThem();
    void closingAsksToSaveAModifiedDocument();
    void leavingDuringAReceiveAsksThenCancelsIt();
    void leavingAsksAboutTheDocumentBeforeTheTransfer();
    void aQuitSignalCancelsTheReceiveWithoutAsking();
    void portsPluggedInLaterAreFound();
    void everyControlHasAName();
    void screenshotOfTheMainWindow();

private:
    QTemporaryDir m_files;

    CMainFrame& MakeFrame();
    // A Block receive under way into target, with a line of the program stored.
    void StartReceiving(test::Simulator& sim, const QString& target);
};

void MainFrameTest::init() {
    StartFrameTest({1, 3});
}

void MainFrameTest::cleanup() {
    EndFrameTest();
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
    // Edit and Tool hold their own items first; the editor's tools follow them.
    QCOMPARE(CommandIds(popups[1]->menu()).mid(0, 12),
             (QList<int>{57643, 0, 57635, 57634, 57637, 57642, 0, 57636, 57640, 57641, 0, 33000}));
    QCOMPARE(CommandIds(popups[2]->menu()), (QList<int>{59392, 59393}));
    QCOMPARE(CommandIds(popups[3]->menu()), (QList<int>{32791, 32792, 33030, 0, 32793, 0, 32787, 32803}));
    QCOMPARE(CommandIds(popups[4]->menu()).mid(0, 3), (QList<int>{32771, 32800, 32804}));
    QCOMPARE(CommandIds(popups[5]->menu()), (QList<int>{57664}));
    QCOMPARE(frame.Action(cmd::kFileNew)->text(), QStringLiteral("&New\tCtrl+N"));
    QCOMPARE(frame.Action(cmd::kEditSelectAll)->text(), QStringLiteral("Select A&ll\tCtrl+A"));
    QCOMPARE(frame.Action(cmd::kEditFindNext)->text(), QStringLiteral("F&ind Next\tF3"));
    QCOMPARE(frame.Action(cmd::kSendCurrentFile)->text(), QStringLiteral("Send &Current File"));
    QCOMPARE(frame.Action(cmd::kBatchConvert)->text(), QStringLiteral("Batch convert"));
    QCOMPARE(frame.Action(cmd::kAppAbout)->text(), QStringLiteral("&About Quorlin..."));
    QCOMPARE(frame.Action(cmd::kEditGoTo)->text(), QStringLiteral("&Go To...\tCtrl+G"));
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
    QVERIFY(keys(cmd::kEditGoTo).contains(QKeySequence("Ctrl+G")));
    QVERIFY(keys(cmd::kEditFindPrevious).contains(QKeySequence("Shift+F3")));
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
    // The caret's place comes before the key panes.
    auto* position = frame.statusBar()->findChild<QLabel*>(QStringLiteral("caretPosition"));
    QVERIFY(position);
    QCOMPARE(position->text(), QStringLiteral("Ln 1, Col 1"));
    QVERIFY(position->x() < frame.statusBar()->findChild<QLabel*>(QStringLiteral("CAP"))->x());
}

void MainFrameTest::lockIndicatorsFollowTheX11KeyboardState() {
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) QSKIP("runs on an X server (xvfb-run)");
#if QUORLIN_TEST_XKB
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    QVERIFY(x11);
    xcb_connection_t* connection = x11->connection();
    free(xcb_xkb_use_extension_reply(connection, xcb_xkb_use_extension(connection, 1, 0), nullptr));
    auto lockCaps = [connection](bool on) {
        xcb_void_cookie_t done = xcb_xkb_latch_lock_state_checked(connection, XCB_XKB_ID_USE_CORE_KBD,
                                                                  XCB_MOD_MASK_LOCK, on ? XCB_MOD_MASK_LOCK : 0,
                                                                  0, 0, 0, 0, 0);
        free(xcb_request_check(connection, done));
    };
    CMainFrame& frame = MakeFrame();
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    auto* caps = frame.statusBar()->findChild<QLabel*>(QStringLiteral("CAP"));
    for (bool on : {true, false, true, false}) {
        lockCaps(on);
        // As the lock key's release in the window reaches the panes.
        QTest::keyRelease(frame.GetEditorView(), Qt::Key_CapsLock);
        QTRY_COMPARE(caps->isEnabled(), on);
    }
    // Asked on every lock key and activation: a few round trips to the server.
    QElapsedTimer clock;
    clock.start();
    constexpr int kAsks = 100;
    for (int i = 0; i < kAsks; ++i) IsLockOn(LockKey::Caps);
    qInfo("one lock state from the X server: %.3f ms", double(clock.nsecsElapsed()) / 1e6 / kAsks);
#else
    QSKIP("built without xcb-xkb");
#endif
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
    QCOMPARE(CommandIds(frame.OperationMenu()), (QList<int>{32791, 32792, 33030, 0, 32793, 0} + added));
    if (sysType == 2) QCOMPARE(frame.OperationMenu()->actions().size(), 7);
}

void MainFrameTest::settingsChangeFrom3To0RebuildsTheMenu() {
    test::SetProfileValue("SysType", 3);
    test::SetProfileValue("BaudRate", 1);
    CMainFrame& frame = MakeFrame();
    QCOMPARE(frame.Settings().baud, 115200);
    frame.ApplySettings({0, 0, -1});
    QCOMPARE(CommandIds(frame.OperationMenu()), (QList<int>{32791, 32792, 33030, 0, 32793, 0, 32787, 32803}));
    QCOMPARE(frame.OperationMenu()->actions().at(6)->text(), QStringLiteral("Download Interface"));
    QCOMPARE(frame.OperationMenu()->actions().at(7)->text(), QStringLiteral("Update 57F/57QV/66G software"));
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
    QCOMPARE(CommandIds(frame.OperationMenu()), (QList<int>{32791, 32792, 33030, 0, 32793, 0, 32801}));
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
    const QList<int> disabled = {32771, 32791, 32792, 33030, 32793, 32805, 32806, 32807};
    m_prompts.paths.push_back(m_files.filePath("received.nc"));
    frame.Action(cmd::kReceiveFile)->trigger();  // waits for the controller: busy until cancelled
    QVERIFY(frame.Session().IsBusy());
    m_prompts.dialogs.clear();
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

    frame.Session().CancelRunningTransfer();
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

    // A character no byte can carry is refused, as Save refuses it, and its
    // line is named; nothing is sent.
    frame.GetEditorView()->setPlainText(QStringLiteral("G01 X1\nM30 \u20ac"));
    m_prompts.answers.push_back(PromptAnswer::Ok);
    frame.Action(cmd::kSendCurrentFile)->trigger();
    QCOMPARE(m_prompts.messages.size(), size_t(3));
    QVERIFY2(m_prompts.messages[2].text.contains(QStringLiteral("line 2")), qPrintable(m_prompts.messages[2].text));
    QCOMPARE(m_prompts.messages[2].caption, QStringLiteral("Error"));
    QVERIFY(m_prompts.messages[2].icon == PromptIcon::Error);
    QVERIFY(busy.isEmpty());

    frame.GetEditorView()->setPlainText(QStringLiteral("G01 X1"));
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
    frame.Session().CancelRunningTransfer();
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
    frame.GetCommView()->ShowPendingLog();  // the log view draws its changes a few times a second
    const QString log = frame.GetCommView()->toPlainText();
    QVERIFY2(log.contains(QStringLiteral("Begin to send file")), qPrintable(log));
    QVERIFY2(log.contains(QStringLiteral("File sending completed")), qPrintable(log));
    QTRY_VERIFY(frame.Action(cmd::kSendFile)->isEnabled());
}

namespace {

// Bytes of a repeatable pattern, never zero.
QByteArray Pattern(int count, int seed) {
    QByteArray bytes(count, '\0');
    for (int i = 0; i < count; ++i) bytes[i] = char(1 + (i * 31 + seed) % 251);
    return bytes;
}

QByteArray UpdateFileOf(const QByteArray& payload) {
    UpdateFileHeader header;
    header.checksum = SumBytes(reinterpret_cast<const uint8_t*>(payload.constData()), uint32_t(payload.size()));
    header.payloadLength = uint32_t(payload.size());
    const HeaderBytes bytes = header.ToBytes();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size())) + payload;
}

// A 256-colour bitmap whose pixel data (width 256) begins at 1078.
QByteArray PictureBitmapOf(const QByteArray& pixels) {
    QByteArray head(int(kPictureBitmapPixelOffset), '\0');
    const auto put = [&](int at, uint32_t value) {
        for (int i = 0; i < 4; ++i) head[at + i] = char((value >> (8 * i)) & 0xFF);
    };
    head[0] = 'B';
    head[1] = 'M';
    put(2, uint32_t(head.size() + pixels.size()));
    put(10, kPictureBitmapPixelOffset);
    put(14, 40);
    put(18, 256);
    put(22, uint32_t(pixels.size() / 256));
    head[26] = 1;
    head[28] = 8;
    return head + pixels;
}

}  // namespace

void MainFrameTest::everyDownloadArrivesWholeBehindTheRestore_data() {
    QTest::addColumn<int>("family");
    QTest::addColumn<int>("baudIndex");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("kind");
    const struct { int family, baudIndex, command, kind; } offers[] = {
        {0, 0, cmd::kDownloadInterface, 1}, {0, 0, cmd::kUpdate57F, 3},          {1, 0, cmd::kDownloadInterface, 1},
        {1, 0, cmd::kUpdate57F, 3},         {2, 0, cmd::kUpdateP70, 2},          {3, 0, cmd::kUpdate57Qva, 3},
        {3, 1, cmd::kUpdate57Qva, 3},       {3, 0, cmd::kDownloadInterfaceQva, 4}, {3, 0, cmd::kDownChnFont, 5},
        {4, 0, cmd::kUpdate57Qva, 3},       {4, 0, cmd::kDownloadInterfaceQva, 4}, {4, 0, cmd::kDownChnFont, 5},
    };
    for (const auto& o : offers)
        QTest::addRow("family%d_baud%d_kind%d", o.family, o.baudIndex, o.kind)
            << o.family << o.baudIndex << o.command << o.kind;
}

// Each download command of each family, from the menu to quorlin-sim over a
// pty: the controller stores every byte, also after the worker has put the
// standard line back (a pty takes a plain stream long before the paced line
// has carried it, and the line must not be emptied under it).
void MainFrameTest::everyDownloadArrivesWholeBehindTheRestore() {
    QFETCH(int, family);
    QFETCH(int, baudIndex);
    QFETCH(int, command);
    QFETCH(int, kind);
    m_ports.reset();
    test::Simulator sim;
    const bool stream = kind <= 2;
    // A stream is paced at its line rate, so that most of it is still in the
    // pty when the transfer ends; blocks wait for the controller's answers anyway.
    QVERIFY(sim.Start(family, stream ? QStringList{QStringLiteral("--pace"), QStringLiteral("--stream-gap"),
                                                   QStringLiteral("700")}
                                     : QStringList{QStringLiteral("--baud-index"), QString::number(baudIndex)}));
    test::SetProfileValue("SysType", family);
    test::SetProfileValue("BaudRate", baudIndex);
    CMainFrame& frame = MakeFrame();
    frame.GetCommView()->OnInitialUpdate();

    QByteArray file, sent;
    if (stream) {
        file = sent = Pattern(8000, kind);  // more than a pty's 4 KiB read buffer holds
    } else if (kind == 4) {
        sent = Pattern(256 * 160, kind);
        file = PictureBitmapOf(sent);
    } else {
        sent = Pattern(40000, kind);
        file = UpdateFileOf(sent);
    }
    if (!stream) sent.append(QByteArray(2 * 32768 - sent.size(), '\0'));  // the last block zero-filled
    QVERIFY(!sim.Command(stream ? QStringLiteral("expect download stream")
                                : QStringLiteral("expect download blocks answer 11"),
                         QStringLiteral("expecting download"))
                 .isEmpty());
    m_prompts.paths.push_back(test::WriteFile(m_files, "image.bin", file));
    frame.Action(command)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!frame.Session().IsBusy(), 60000);
    frame.GetCommView()->ShowPendingLog();
    const QString log = frame.GetCommView()->toPlainText();
    QVERIFY2(log.contains(QStringLiteral("File sending completed")), qPrintable(log));
    if (!stream) QVERIFY2(log.contains(QStringLiteral(", 2 blocks, verdict 1 in ")), qPrintable(log));

    const QString stored = sim.Reports(QStringLiteral("stored download"), 60000);
    QVERIFY2(!stored.isEmpty(), qPrintable(sim.Output()));
    const QByteArray arrived = test::Simulator::ReadFile(test::Simulator::StoredPath(stored));
    QCOMPARE(arrived.size(), sent.size());
    QCOMPARE(arrived, sent);
    // The standard line came back (XON/XOFF is its handshake).
    QVERIFY(!sim.Command(QStringLiteral("await pc-handshake xonxoff"), QStringLiteral("pc-handshake xonxoff"))
                 .isEmpty());
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

void MainFrameTest::recentFilesComeBackGreyedAndDropped() {
    QStringList paths;
    for (int i = 1; i <= 9; ++i)
        paths << test::WriteFile(m_files, QStringLiteral("P%1.nc").arg(i), QByteArray("N") + QByteArray::number(i));
    CMainFrame& frame = MakeFrame();
    QMenu* file = frame.menuBar()->actions().at(0)->menu();
    for (const QString& path : paths) QVERIFY(frame.Document().OpenDocument(path));
    QVERIFY(frame.Document().OpenDocument(paths[2]));  // again: it moves to the top
    QCOMPARE(CommandIds(file), (QList<int>{57600, 57601, 57603, 57604, 0, 57616, 57617, 57618, 57619, 57620, 57621,
                                           57622, 57623, 0, 57665}));
    QCOMPARE(frame.Action(57616)->text(), QStringLiteral("&1 ") + paths[2]);
    QCOMPARE(frame.Action(57617)->text(), QStringLiteral("&2 ") + paths[8]);
    QCOMPARE(frame.Action(57623)->text(), QStringLiteral("&8 ") + paths[1]);  // P1 fell off
    QSettings profile(QSettings::NativeFormat, QSettings::UserScope, "Morvale CNC", "Quorlin");
    QCOMPARE(profile.value("Recent File List/File1").toString(), paths[2]);
    QCOMPARE(profile.value("Recent File List/File8").toString(), paths[1]);

    // The next run offers them again; a file that went is greyed out, one that
    // fails to open goes from the list.
    m_frame.reset();
    QVERIFY(QFile::remove(paths[8]));
    test::WriteFile(m_files, QStringLiteral("P8.nc"), QByteArray("G01\0binary", 10));
    CMainFrame& again = MakeFrame();
    file = again.menuBar()->actions().at(0)->menu();
    QCOMPARE(CommandIds(file).size(), 15);
    emit file->aboutToShow();
    QVERIFY(again.Action(57616)->isEnabled());
    QVERIFY(!again.Action(57617)->isEnabled());  // P9 is gone
    again.Action(57618)->trigger();              // P8 is not a program any more
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    QVERIFY(m_prompts.messages[0].text.startsWith(QStringLiteral("Failed to open document.")));
    QCOMPARE(again.Document().Title(), QStringLiteral("Untitled"));
    QCOMPARE(CommandIds(file).size(), 14);
    QCOMPARE(again.Action(57618)->text(), QStringLiteral("&3 ") + paths[6]);
    again.Action(57616)->trigger();
    QCOMPARE(again.Document().PathName(), paths[2]);
    profile.sync();
    QCOMPARE(profile.value("Recent File List/File3").toString(), paths[6]);
    QVERIFY(!profile.contains("Recent File List/File8"));
}

void MainFrameTest::windowPlaceAndSplitComeBackOnTheScreen() {
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    {
        // The first window fits the screen, frame and all.
        CMainFrame& first = MakeFrame();
        first.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        QVERIFY2(available.contains(first.frameGeometry()), qPrintable(QStringLiteral("%1x%2 on %3x%4")
                                                                           .arg(first.frameGeometry().width())
                                                                           .arg(first.frameGeometry().height())
                                                                           .arg(available.width())
                                                                           .arg(available.height())));
        first.setGeometry(available.x() + 30, available.y() + 40, 600, 450);
        first.Splitter()->setSizes({120, 200});
        QApplication::processEvents();
    }
    const QList<int> split = m_frame->Splitter()->sizes();
    QVERIFY(m_frame->close());
    m_frame.reset();

    CMainFrame& second = MakeFrame();
    second.show();
    QVERIFY(QTest::qWaitForWindowExposed(&second));
    QCOMPARE(second.geometry(), QRect(available.x() + 30, available.y() + 40, 600, 450));
    QCOMPARE(second.Splitter()->sizes(), split);
    second.showMaximized();
    QTRY_VERIFY(second.isMaximized());
    QVERIFY(second.close());
    m_frame.reset();

    CMainFrame& third = MakeFrame();
    third.show();
    QTRY_VERIFY(third.isMaximized());
    third.showNormal();
    QTRY_COMPARE(third.geometry(), QRect(available.x() + 30, available.y() + 40, 600, 450));
    QVERIFY(third.close());
    m_frame.reset();

    // A place larger than the screen, partly off it, comes back inside it.
    QSettings profile(QSettings::NativeFormat, QSettings::UserScope, "Morvale CNC", "Quorlin");
    profile.setValue("MainWindow/Left", -300);
    profile.setValue("MainWindow/Top", available.bottom() - 50);
    profile.setValue("MainWindow/Width", available.width() * 3 / 2);
    profile.setValue("MainWindow/Height", available.height() * 3 / 2);
    profile.setValue("MainWindow/Maximized", 0);
    profile.sync();
    CMainFrame& fourth = MakeFrame();
    fourth.show();
    QVERIFY(QTest::qWaitForWindowExposed(&fourth));
    QVERIFY(available.contains(fourth.frameGeometry()));
    QVERIFY(fourth.statusBar()->isVisible());
}

void MainFrameTest::fileDialogsStartInTheFolderLastUsedForThem() {
    QVERIFY(QDir(m_files.path()).mkpath("programs"));
    QVERIFY(QDir(m_files.path()).mkpath("to send"));
    const QString programs = m_files.filePath("programs");
    const QString toSend = m_files.filePath("to send");
    CMainFrame& frame = MakeFrame();
    m_prompts.paths.push_back(test::WriteFile(m_files, "programs/O1.nc", "N1\r\n"));
    frame.Action(cmd::kFileOpen)->trigger();
    frame.Action(cmd::kFileOpen)->trigger();      // cancelled
    frame.Action(cmd::kSendFile)->trigger();      // cancelled
    QCOMPARE(m_prompts.dialogs.size(), size_t(3));
    QVERIFY(m_prompts.dialogs[0].initialFolder.isEmpty());
    QCOMPARE(m_prompts.dialogs[1].initialFolder, programs);
    QVERIFY(m_prompts.dialogs[2].initialFolder.isEmpty());  // a purpose of its own

    m_prompts.paths.push_back(test::WriteFile(m_files, "to send/O2.nc", "N2\r\n"));
    frame.Action(cmd::kSendFile)->trigger();
    m_frame.reset();
    CMainFrame& next = MakeFrame();
    next.Action(cmd::kSendFile)->trigger();  // cancelled
    next.Action(cmd::kUpdate57F)->trigger();
    QCOMPARE(m_prompts.dialogs.at(4).initialFolder, toSend);
    QVERIFY(m_prompts.dialogs.at(5).initialFolder.isEmpty());
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
    frame.GetEditorView()->GoToLine(6);  // the status bar shows the line and its block number
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
    const QString target = m_files.filePath(QStringLiteral("received-at-exit.nc"));
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
    frame.GetCommView()->ShowPendingLog();
    QVERIFY(frame.GetCommView()->toPlainText().contains(QStringLiteral("File receiving cancelled")));
    QCOMPARE(test::ReadWholeFile(target), QByteArray("N1G0\r\n"));
    QVERIFY2(sim.Command(QStringLiteral("status"), QStringLiteral("status")).contains(QStringLiteral(" rx 1 ")),
             qPrintable(sim.Output()));  // the SUB, the one byte the PC sent
}

// A changed document and a running transfer: the save question comes first,
// and whatever the answers, either everything goes on or everything ends.
void MainFrameTest::leavingAsksAboutTheDocumentBeforeTheTransfer() {
    m_ports.reset();
    test::Simulator sim;
    const QString target = m_files.filePath(QStringLiteral("received-while-editing.nc"));
    StartReceiving(sim, target);
    CMainFrame& frame = *m_frame;
    frame.GetEditorView()->insertPlainText(QStringLiteral("G01"));
    const auto cancelled = [&frame] {
        frame.GetCommView()->ShowPendingLog();
        return frame.GetCommView()->toPlainText().contains(QStringLiteral("File receiving cancelled"));
    };

    // Cancel to the save question: nothing else is asked, nothing stops.
    m_prompts.answers = {PromptAnswer::Cancel};
    QVERIFY(!frame.close());
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    QVERIFY(m_prompts.messages[0].text.startsWith(QStringLiteral("Save changes to")));
    QVERIFY(frame.isVisible());
    QVERIFY(frame.Session().IsBusy());
    QVERIFY(!cancelled());

    // The document may go, the transfer not: it goes on.
    m_prompts.answers = {PromptAnswer::No, PromptAnswer::No};
    QVERIFY(!frame.close());
    QCOMPARE(m_prompts.messages.size(), size_t(3));
    QVERIFY(m_prompts.messages[2].text.startsWith(QStringLiteral("A transfer is running. Stop it and exit?")));
    QVERIFY(frame.isVisible());
    QVERIFY(frame.Session().IsBusy());
    QVERIFY(!cancelled());
    QVERIFY2(sim.Command(QStringLiteral("status"), QStringLiteral("status")).contains(QStringLiteral(" rx 0 ")),
             qPrintable(sim.Output()));  // the controller was told nothing

    // Both agreed to: the transfer stops and the window goes.
    m_prompts.answers = {PromptAnswer::No, PromptAnswer::Yes};
    QVERIFY(frame.close());
    QCOMPARE(m_prompts.messages.size(), size_t(5));
    QVERIFY(!frame.Session().IsBusy());
    QVERIFY(cancelled());
}

// SIGTERM (logging out, kill) ends the same way without asking.
void MainFrameTest::aQuitSignalCancelsTheReceiveWithoutAsking() {
    m_ports.reset();
    test::Simulator sim;
    const QString target = m_files.filePath(QStringLiteral("received-at-sigterm.nc"));
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
