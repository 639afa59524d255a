// The log view on the offscreen platform: what it shows of the engine's log,
// its trimming, its context menu and Clear All, that the keyboard cannot edit
// it, and "Can not open COM%d !" for a port that is not there.

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QScrollBar>
#include <QTest>
#include <thread>

#include "serial/SerialOwner.h"

#include "res/CommandIds.h"
#include "tests/transfer/qt/TransferUiSupport.h"
#include "transfer/TransferEngine.h"
#include "transfer/qt/CommView.h"
#include "transfer/qt/TransferSession.h"
#include "ui/CommandAction.h"

using namespace quorlin;
using namespace quorlin::test;

namespace {

// The view's text with its line breaks as LF and every other character as it
// is (toPlainText would turn a no-break space, byte 0xA0, into a space),
// once the changes that wait for the next redraw are shown.
QString Shown(CCommView& view) {
    view.ShowPendingLog();
    QString raw = view.document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return raw;
}

struct Rig {
    ScriptedPort::State port;
    CommSettings settings;
    TransferSession session;
    CCommView view;
    Rig() : session(settings, std::make_unique<ScriptedPort>(port)), view(session) {
        view.resize(400, 200);
        view.show();
    }
    void Append(const std::string& text) { session.Engine().AppendLog(text.c_str()); }
    void OnClear() { view.OnClearAll(); }
};

QAction* ActionFor(QMenu* menu, int command) {
    for (QAction* action : menu->actions())
        if (CommandIdOf(action) == command) return action;
    return nullptr;
}

}  // namespace

class CommViewTest : public QObject {
    Q_OBJECT
private slots:
    void missingPortShowsCanNotOpenOwnedByTheView();
    void portMessagesWaitWhileAStepShowsItsBox();
    void showsEveryReceivedByteAsOneCharacter();
    void controlBytesShowAsBoxesWithTheirNames();
    void trimsExactlyTenThousandAboveSixtyFourThousand();
    void contextMenuHasTheLogsCommands();
    void clearAllIsGreyedWhileTheLogIsEmpty();
    void keyboardSelectsAndCopiesButCannotEdit();
    void contextMenuKeyOpensTheMenu();
    void followsTheEndUntilTheUserScrollsAway();
    void streamedTextIsShownAFewTimesASecond();
    void readOnlyLogIsPaintedLikeATextBox();
    void keepsUpWithTheFastestLine_data();
    void keepsUpWithTheFastestLine();
};

void CommViewTest::missingPortShowsCanNotOpenOwnedByTheView() {
    QTemporaryDir ports;  // a port map without COM7
    qputenv("QUORLIN_PORTS", QFile::encodeName(ports.path()));
    CommSettings settings;
    settings.portList = {7, 0, 0, 0, 0};
    TransferSession session(settings);  // the real serial port
    CCommView view(session);
    view.show();
    MessageBoxWatcher boxes;
    view.OnInitialUpdate();
    QCOMPARE(boxes.Boxes().size(), 1);  // shown, and answered, before OnInitialUpdate returned
    const auto& box = boxes.Boxes()[0];
    QCOMPARE(box.text, QStringLiteral("Can not open COM7 !"));
    QCOMPARE(box.caption, QStringLiteral("Error"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.parent, &view);
    QVERIFY(box.modal);
    QVERIFY(session.Log().IsEmpty());  // no log entry
    QCOMPARE(Shown(view), QString());
}

// The port goes away during a receive: the step that ends the transfer shows
// its box; bytes that arrive while it is up are handled after that step,
// when the receive has ended, so they are logged but not stored.
void CommViewTest::portMessagesWaitWhileAStepShowsItsBox() {
    Rig rig;
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("in.nc"));
    rig.session.ReceiveFile(target);
    QVERIFY(rig.session.IsBusy());
    MessageBoxWatcher boxes;
    bool heldBack = false;
    boxes.WhileShown([&] {
        QSignalSpy deferred(&rig.session, &TransferSession::messagesDeferred);
        std::thread reader([&] { FeedAndPost(rig.port, "N5G01\n"); });
        reader.join();
        heldBack = deferred.wait(kWaitMs) && rig.session.PendingMessages() == 1;
    });
    ISerialOwner* owner = nullptr;
    {
        std::lock_guard<std::mutex> lock(rig.port.mutex);
        owner = rig.port.owner;
    }
    std::thread lost([owner] { owner->Post(WM_SERIAL_DEVLOST, 1, 0); });
    lost.join();
    QVERIFY(boxes.WaitForBoxes(1));
    QVERIFY(heldBack);
    QCOMPARE(boxes.Boxes()[0].caption, QStringLiteral("Error"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.session.Log().Text().ends_with("N5G01\n"), kWaitMs);
    // The end line, the line of what the receive carried, then what came late.
    QVERIFY(QRegularExpression(QStringLiteral("the serial port was lost\n[^\n]* bytes/s\\)\nN5G01\n$"))
                .match(Shown(rig.view))
                .hasMatch());
    QCOMPARE(Simulator::ReadFile(target), QByteArray());
}

void CommViewTest::showsEveryReceivedByteAsOneCharacter() {
    Rig rig;
    QVERIFY(rig.session.OpenPort());
    std::string bytes = "G01\r\n";
    for (int b = 0x80; b <= 0xFF; ++b) bytes += static_cast<char>(b);
    bytes += "\r";  // a CR LF split over two reads is one line break
    FeedAndPost(rig.port, bytes);
    QTRY_COMPARE_WITH_TIMEOUT(rig.session.Log().Length(), bytes.size(), kWaitMs);
    // Control bytes show as their symbols: DC1, DC3, SUB and a download's
    // answer packet ('Z', 'Z', 0x11, seven more bytes), tab as it is.
    const std::string controls = std::string("\nM30\x11\x13\x1a\tZZ\x11\x01\x7f", 13);
    FeedAndPost(rig.port, controls);
    QTRY_COMPARE_WITH_TIMEOUT(rig.session.Log().Length(), bytes.size() + controls.size(), kWaitMs);
    const QString shown = Shown(rig.view);
    QCOMPARE(shown.left(4), QStringLiteral("G01\n"));
    for (int i = 0; i < 128; ++i) QCOMPARE(shown[4 + i].unicode(), char16_t(0x80 + i));
    QCOMPARE(shown.mid(4 + 128), QStringLiteral("\nM30\u2411\u2413\u241a\tZZ\u2411\u2401\u2421"));
    QCOMPARE(rig.view.document()->blockCount(), 3);
}

// A control byte's own symbol is a few faint pixels: its cell is a box in
// the text's colour, wide enough for its name, still one character.
void CommViewTest::controlBytesShowAsBoxesWithTheirNames() {
    Rig rig;
    rig.Append("N10 G01\x11X5\x13\r\n");
    QCOMPARE(Shown(rig.view), QStringLiteral("N10 G01\u2411X5\u2413\n"));
    QVERIFY(QTest::qWaitForWindowExposed(&rig.view));
    SaveScreenshot(&rig.view, QStringLiteral("log-control-bytes"));
    const auto cellOf = [&rig](int position) {
        QTextCursor at(rig.view.document());
        at.setPosition(position);
        const QRect left = rig.view.cursorRect(at);
        at.setPosition(position + 1);
        return QRect(left.topLeft(), QPoint(rig.view.cursorRect(at).left() - 1, left.bottom()));
    };
    const QRect letter = cellOf(8);  // 'X'
    const QRect dc1 = cellOf(7);
    QVERIFY2(dc1.width() >= 2 * letter.width(), qPrintable(QStringLiteral("%1 %2").arg(dc1.width()).arg(letter.width())));
    QCOMPARE(dc1.top(), letter.top());  // on the line, not above or below it

    const QImage picture = rig.view.viewport()->grab().toImage();
    const QColor text = rig.view.palette().color(QPalette::Text);
    const auto shareInTextColour = [&picture, &text](const QRect& cell) {
        int inText = 0, all = 0;
        const qreal ratio = picture.devicePixelRatio();
        for (int y = cell.top() + 3; y <= cell.bottom() - 3; ++y)
            for (int x = cell.left() + 1; x < cell.right(); ++x, ++all) {
                const QColor pixel = picture.pixelColor(int(x * ratio), int(y * ratio));
                if (qAbs(pixel.lightness() - text.lightness()) < 60) ++inText;
            }
        return all ? double(inText) / all : 0.0;
    };
    // The box is mostly the text's colour, with its name cut out of it.
    const double box = shareInTextColour(dc1);
    QVERIFY2(box > 0.5 && box < 0.95, qPrintable(QString::number(box)));
    QVERIFY(shareInTextColour(cellOf(10)) > 0.5);  // DC3 too
    QVERIFY(shareInTextColour(letter) < 0.5);
}

void CommViewTest::trimsExactlyTenThousandAboveSixtyFourThousand() {
    Rig rig;
    // Lines of 100 characters with CR LF, the first of each hundred numbered,
    // so what goes and what stays can be told apart.
    for (int i = 0; i < 640; ++i) {
        std::string line = std::to_string(i);
        line += std::string(98 - line.size(), '-') + "\r\n";
        rig.Append(line);
    }
    QCOMPARE(rig.session.Log().Length(), size_t(64000));
    rig.Append("end\r\n");  // 64,000 before: nothing goes
    QVERIFY(Shown(rig.view).startsWith(QStringLiteral("0---")));
    rig.Append("x");  // 64,005 before: the first 10,000 go
    QCOMPARE(rig.session.Log().Length(), size_t(64005 - 10000 + 1));
    QVERIFY(Shown(rig.view).startsWith(QStringLiteral("100---")));
    QCOMPARE(Shown(rig.view), rig.session.Log().ViewText());
    QVERIFY(Shown(rig.view).endsWith(QStringLiteral("end\nx")));

    // Exactly 10,000 go even when that splits a CR LF: the LF left first
    // is the line break the view keeps.
    rig.OnClear();
    rig.Append(std::string(9999, 'a') + "\r\n" + std::string(64001 - 10001, 'b'));
    QCOMPARE(rig.session.Log().Length(), size_t(64001));
    rig.Append("c");
    QCOMPARE(rig.session.Log().Text(), "\n" + std::string(64001 - 10001, 'b') + "c");
    QVERIFY(Shown(rig.view).startsWith(QStringLiteral("\nbbb")));
    QCOMPARE(Shown(rig.view), rig.session.Log().ViewText());
}

void CommViewTest::contextMenuHasTheLogsCommands() {
    Rig rig;
    std::unique_ptr<QMenu> menu(rig.view.CreateContextMenu());
    QCOMPARE(menu->title(), QStringLiteral("COMM_VIEW"));
    const QList<QAction*> items = menu->actions();
    QCOMPARE(items.size(), 4);
    QCOMPARE(items[0]->text(), QStringLiteral("&Copy"));
    QCOMPARE(CommandIdOf(items[0]), cmd::kEditCopy);
    QCOMPARE(items[1]->text(), QStringLiteral("Seclect A&ll\tCtrl+A"));
    QCOMPARE(CommandIdOf(items[1]), cmd::kEditSelectAll);
    QVERIFY(items[2]->isSeparator());
    QCOMPARE(items[3]->text(), QStringLiteral("Cl&ear All"));
    QCOMPARE(CommandIdOf(items[3]), 32783);
}

void CommViewTest::clearAllIsGreyedWhileTheLogIsEmpty() {
    Rig rig;
    std::unique_ptr<QMenu> empty(rig.view.CreateContextMenu());
    QVERIFY(!ActionFor(empty.get(), cmd::kClearAll)->isEnabled());
    QVERIFY(!ActionFor(empty.get(), cmd::kEditSelectAll)->isEnabled());
    QVERIFY(!ActionFor(empty.get(), cmd::kEditCopy)->isEnabled());

    rig.Append("\r\nBegin to receive file\r\n");
    std::unique_ptr<QMenu> full(rig.view.CreateContextMenu());
    QVERIFY(ActionFor(full.get(), cmd::kClearAll)->isEnabled());
    QVERIFY(ActionFor(full.get(), cmd::kEditSelectAll)->isEnabled());
    QVERIFY(!ActionFor(full.get(), cmd::kEditCopy)->isEnabled());  // nothing selected

    ActionFor(full.get(), cmd::kEditSelectAll)->trigger();
    std::unique_ptr<QMenu> selected(rig.view.CreateContextMenu());
    QVERIFY(ActionFor(selected.get(), cmd::kEditCopy)->isEnabled());

    ActionFor(selected.get(), cmd::kClearAll)->trigger();
    QVERIFY(rig.session.Log().IsEmpty());
    QCOMPARE(Shown(rig.view), QString());
    QVERIFY(!rig.view.OnUpdateClearAll());
    // The engine counts from an empty log again.
    rig.Append("A");
    QCOMPARE(rig.session.Log().Length(), size_t(1));
}

void CommViewTest::keyboardSelectsAndCopiesButCannotEdit() {
    Rig rig;
    rig.Append("N10G01X5\r\n");
    rig.view.setFocus();
    QTest::keyClicks(&rig.view, QStringLiteral("abc"));
    QTest::keyClick(&rig.view, Qt::Key_Backspace);
    QTest::keyClick(&rig.view, Qt::Key_Return);
    QCOMPARE(Shown(rig.view), QStringLiteral("N10G01X5\n"));
    QCOMPARE(rig.session.Log().Text(), std::string("N10G01X5\r\n"));
    QVERIFY(!rig.view.document()->isUndoAvailable());

    QTest::keyClick(&rig.view, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(rig.view.textCursor().selectedText(), QString(QStringLiteral("N10G01X5")) + QChar::ParagraphSeparator);
    QTest::keyClick(&rig.view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("N10G01X5\n"));
}

void CommViewTest::contextMenuKeyOpensTheMenu() {
    Rig rig;
    rig.Append("log\r\n");
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5), rig.view.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(rig.view.viewport(), &event);
    QMenu* shown = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((shown = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr, kWaitMs);
    QCOMPARE(shown->title(), QStringLiteral("COMM_VIEW"));
    QVERIFY(ActionFor(shown, cmd::kClearAll)->isEnabled());
    QTest::keyClick(shown, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::activePopupWidget() == nullptr, kWaitMs);
}

// The view follows the new text while it shows the end; once the user
// scrolls back to read, it stays where they are, and a selection being
// copied is left alone.
void CommViewTest::followsTheEndUntilTheUserScrollsAway() {
    Rig rig;
    for (int i = 0; i < 200; ++i) rig.Append("N" + std::to_string(i) + "G01X5\r\n");
    Shown(rig.view);
    QScrollBar* bar = rig.view.verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());

    bar->setValue(10);
    rig.view.selectAll();
    rig.Append("more\r\n");
    Shown(rig.view);
    QCOMPARE(bar->value(), 10);
    QVERIFY(rig.view.textCursor().hasSelection());

    bar->setValue(bar->maximum());
    rig.Append("last\r\n");
    Shown(rig.view);
    QCOMPARE(bar->value(), bar->maximum());
}

// Reads of a few bytes each, thousands of them, reach the screen a few
// times a second (at most every kShowIntervalMs), not once each.
void CommViewTest::streamedTextIsShownAFewTimesASecond() {
    Rig rig;
    QVERIFY(rig.session.OpenPort());
    int shownChanges = 0;
    connect(rig.view.document(), &QTextDocument::contentsChange, this, [&] { ++shownChanges; });
    constexpr int kReads = 2000;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kReads; ++i) {
        FeedAndPost(rig.port, "N10G01X5\r\n");
        QCoreApplication::processEvents();
    }
    const QString all = rig.session.Log().ViewText();
    QTRY_COMPARE_WITH_TIMEOUT(Shown(rig.view).size(), all.size(), kWaitMs);
    const double seconds = clock.elapsed() / 1000.0;
    qInfo("%d reads in %.2f s reached the view in %d changes", kReads, seconds, shownChanges);
    // The redraws that the time allows, and slack for the last one.
    QVERIFY(shownChanges <= 4 + seconds * 1000 / CCommView::kShowIntervalMs);
    QCOMPARE(Shown(rig.view), all);
}

void CommViewTest::readOnlyLogIsPaintedLikeATextBox() {
    Rig rig;
    const QPalette colours = rig.view.palette();
    const QColor base = colours.color(QPalette::Active, QPalette::Base);
    QCOMPARE(colours.color(QPalette::Inactive, QPalette::Base), base);
    QCOMPARE(colours.color(QPalette::Disabled, QPalette::Base), base);
    QVERIFY(rig.view.isReadOnly());
    QCOMPARE(rig.view.lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(rig.view.accessibleName(), QStringLiteral("Communication log"));
    QVERIFY(rig.view.focusPolicy() & Qt::TabFocus);
    const QFontMetricsF metrics(rig.view.font());  // columns of received programs line up
    QCOMPARE(metrics.horizontalAdvance(QLatin1Char('i')), metrics.horizontalAdvance(QLatin1Char('W')));
}

void CommViewTest::keepsUpWithTheFastestLine_data() {
    QTest::addColumn<int>("lineLength");
    QTest::newRow("program lines") << 24;
    QTest::newRow("no line breaks") << 0;
}

// Received text is logged in reads of up to 511 bytes. The fastest line,
// 115200 baud, brings some 11.5 KB a second; the view, trimming as it goes,
// must take it many times faster than that.
void CommViewTest::keepsUpWithTheFastestLine() {
    QFETCH(int, lineLength);
    constexpr int kRead = 511, kTotal = 512 * 1024;
    constexpr double kLineBytesPerSecond = 11520;
    Rig rig;
    std::string chunk;
    for (int i = 0; i < kRead; ++i)
        chunk += lineLength > 0 && i % lineLength == lineLength - 1 ? '\n' : static_cast<char>('A' + i % 26);
    QElapsedTimer clock;
    clock.start();
    for (int sent = 0; sent < kTotal; sent += kRead) rig.Append(chunk);
    QCoreApplication::processEvents();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double rate = kTotal / seconds;
    qInfo("logged %d bytes in %.3f s: %.0f KB/s (%.0f times the fastest line)", kTotal, seconds, rate / 1024,
          rate / kLineBytesPerSecond);
    QVERIFY(rate > 10 * kLineBytesPerSecond);
    QVERIFY(rig.session.Log().Length() <= 64000 + kRead);
    QCOMPARE(Shown(rig.view), rig.session.Log().ViewText());
}

QTEST_MAIN(CommViewTest)
#include "CommViewTest.moc"
