// The "Sending" dialog during real sends to quorlin-sim over a pseudo-
// terminal: its controls and their order, its place on the main window, the
// byte count and the bar as the send goes, and Cancel, Esc and the caption's
// close button ending the send before the window goes.

#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <climits>

#include "tests/transfer/qt/TransferUiSupport.h"
#include "transfer/qt/CommView.h"
#include "transfer/qt/DialogGeometry.h"
#include "ui/DialogPlacement.h"
#include "transfer/qt/ProgressDialogs.h"
#include "transfer/qt/TransferSession.h"

using namespace quorlin;
using namespace quorlin::test;

namespace {

// Cancel must end a transfer within a second; this bound leaves room for a
// loaded machine and a sanitizer build.
constexpr qint64 kCancelBoundMs = 3000;

struct Stage : ViewStage {
    Stage() : ViewStage({120, 90, 800, 600}) {}
    CSendingDlg* Dialog() const { return qobject_cast<CSendingDlg*>(view->ProgressDialog()); }
};

QStringList LabelTexts(QWidget* dialog) {
    QStringList texts;
    for (QLabel* label : dialog->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) texts << label->text();
    return texts;
}

}  // namespace

class SendingDlgTest : public QObject {
    Q_OBJECT
private slots:
    void wholeSendFileShowsTheLogAndTheDialog();
    void cancelEndsTheSendBeforeTheWindowGoes_data();
    void cancelEndsTheSendBeforeTheWindowGoes();
    void controlsInOrderNamedAndReachableByKeyboard();
    void hugeTotalsAndCountsShowWhole();
    void aStallSaysWhatTheSendWaitsFor_data();
    void aStallSaysWhatTheSendWaitsFor();
    void rateNeverExceedsTheLine();
};

void SendingDlgTest::wholeSendFileShowsTheLogAndTheDialog() {
    Stage stage;
    QVERIFY(stage.Start(1));
    const QByteArray program = LongProgram(400);
    const QString path = stage.sim.WriteFile(QStringLiteral("part.nc"), program);

    QPointer<CSendingDlg> dialog;
    QStringList labelsAtStart;
    QString pathShown;
    QPoint placed, centre;
    bool shownAtStart = false;
    QList<quint64> counts;
    QString finalCount;
    int finalValue = -1, finalMaximum = -2;
    connect(stage.session.get(), &TransferSession::progressCreated, this, [&] {
        dialog = stage.Dialog();  // the view made it first
        QVERIFY(dialog);
        shownAtStart = dialog->isVisible();
        labelsAtStart = LabelTexts(dialog);
        pathShown = dialog->findChild<QPlainTextEdit*>()->toPlainText();
        placed = dialog->pos();
        centre = CentredTopLeft(stage.main.frameGeometry(), dialog->frameGeometry().size());
    });
    bool pictured = false;
    connect(stage.session.get(), &TransferSession::byteCountChanged, this, [&](quint64 count) {
        if (!pictured && count > quint64(program.size()) / 3) {
            pictured = true;
            SaveScreenshot(dialog, QStringLiteral("sending-dialog"));
        }
        counts << count;
    });
    connect(stage.session.get(), &TransferSession::progressDestroyed, this, [&] {
        dialog->ShowPendingCount();  // what the last redraw would show
        finalCount = dialog->findChildren<QLabel*>(Qt::FindDirectChildrenOnly).at(3)->text();
        finalValue = dialog->Progress()->value();
        finalMaximum = dialog->Progress()->maximum();
    });

    stage.session->SendFile(path);
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Sending"));
    QVERIFY(shownAtStart);
    QCOMPARE(labelsAtStart.mid(0, 3), (QStringList{QStringLiteral("COM1"), QStringLiteral("43F,43QV,57F,57QV"),
                                                   QStringLiteral("Bytes:")}));
    QCOMPARE(pathShown, path);
    QCOMPARE(placed, centre);
    QCOMPARE(dialog->parentWidget(), &stage.main);

    const QString stored = stage.sim.Reports(QStringLiteral("stored program"));
    QVERIFY(!stored.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!stage.session->IsBusy(), kWaitMs);
    QCOMPARE(Simulator::ReadFile(Simulator::StoredPath(stored)), program + "\n");  // Block closes with LF, SUB

    QVERIFY(counts.size() > 2);
    QCOMPARE(counts.front(), quint64(0));
    QVERIFY(std::is_sorted(counts.begin(), counts.end()));
    QCOMPARE(counts.back(), quint64(program.size()));
    QCOMPARE(finalCount, QString::number(program.size()));
    QCOMPARE(finalValue, finalMaximum);
    QCOMPARE(finalMaximum, int(program.size()));
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), kWaitMs);  // it deleted itself

    const QString log = stage.Log();
    static const QRegularExpression stamp(
        QStringLiteral("^\r\n\\d{4} \\d{2} \\d{2}, \\d{2}:\\d{2}:\\d{2}   Begin to send file\r\n"));
    QVERIFY2(stamp.match(log).hasMatch(), qPrintable(log.left(200)));
    QVERIFY2(EndsWithEndLine(log, QStringLiteral("File sending completed")), qPrintable(log.right(200)));
}

void SendingDlgTest::cancelEndsTheSendBeforeTheWindowGoes_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << QStringLiteral("button");
    QTest::newRow("Esc") << QStringLiteral("esc");
    QTest::newRow("caption close") << QStringLiteral("close");
}

void SendingDlgTest::cancelEndsTheSendBeforeTheWindowGoes() {
    QFETCH(QString, how);
    Stage stage;
    // Paced at the line rate, so the send is still running when it is cancelled.
    QVERIFY(stage.Start(1, {QStringLiteral("--pace"), QStringLiteral("--line"), QStringLiteral("115200,o,8,1")}));
    stage.sim.Command(QStringLiteral("mark at 300"), QStringLiteral("armed mark"));
    stage.session->SendFile(stage.sim.WriteFile(QStringLiteral("long.nc"), LongProgram(10000)));
    QVERIFY(!stage.sim.Reports(QStringLiteral("reached 300 bytes")).isEmpty());
    QPointer<CSendingDlg> dialog = stage.Dialog();
    QVERIFY(dialog && dialog->isVisible());
    QVERIFY(stage.session->IsBusy());

    QElapsedTimer clock;
    clock.start();
    if (how == QLatin1String("button"))
        QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
    else if (how == QLatin1String("esc"))
        QTest::keyClick(dialog, Qt::Key_Escape);
    else
        dialog->close();
    const qint64 took = clock.elapsed();
    qInfo("cancel (%s) returned after %lld ms", qPrintable(how), took);
    QVERIFY(took < kCancelBoundMs);
    // The send had ended before the window went.
    QVERIFY(!stage.session->IsBusy());
    QVERIFY2(EndsWithEndLine(stage.Log(), QStringLiteral("File sending cancelled")), qPrintable(stage.Log().right(200)));
    QVERIFY(dialog.isNull() || !dialog->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), kWaitMs);

    // Later port messages do not resume it.
    QSignalSpy progress(stage.session.get(), &TransferSession::progressPosChanged);
    QVERIFY(!stage.sim.Command(QStringLiteral("status"), QStringLiteral("status")).isEmpty());
    QCOMPARE(progress.size(), 0);
    QVERIFY(EndsWithEndLine(stage.Log(), QStringLiteral("File sending cancelled")));
}

void SendingDlgTest::controlsInOrderNamedAndReachableByKeyboard() {
    CommSettings settings;
    TransferSession session(settings);
    QMainWindow main;
    main.setGeometry(50, 40, 640, 480);
    main.show();
    auto* dialog = new CSendingDlg(session, &main);
    QPointer<CSendingDlg> alive(dialog);
    dialog->SetInfo(QStringLiteral("COM3"), QStringLiteral("P70,P80(V1.0,V1.2)"), QStringLiteral("/tmp/a.nc"));
    QVERIFY(dialog->Create());
    dialog->SetInfo(QStringLiteral("COM9"), QStringLiteral("x"), QStringLiteral("y"));  // too late: nothing changes
    QVERIFY(!dialog->isVisible());  // the caller shows it
    dialog->show();
    dialog->SetByteCount(0);
    QVERIFY(QTest::qWaitForWindowActive(dialog));

    const QStringList expected{QStringLiteral("COM3"), QStringLiteral("P70,P80(V1.0,V1.2)"), QStringLiteral("Bytes:"),
                               QStringLiteral("0"),    QStringLiteral("/tmp/a.nc"),          QStringLiteral("Progress"),
                               QStringLiteral("Cancel")};
    // Tab walks the controls in their order; every one has a name.
    QWidget* start = dialog->focusWidget();
    QCOMPARE(start, static_cast<QWidget*>(dialog->CancelButton()));
    QStringList walked;
    QWidget* at = start;
    do {
        QTest::keyClick(at, Qt::Key_Tab);
        at = dialog->focusWidget();
        QVERIFY(at);
        QVERIFY2(!at->accessibleName().isEmpty(), at->metaObject()->className());
        walked << at->accessibleName();
    } while (at != start && walked.size() < 20);
    // Cancel, the rate line (this program's own), then the resource's order.
    QCOMPARE(walked.size(), expected.size() + 1);
    QCOMPARE(walked.first(), dialog->RateLabel()->text());
    QCOMPARE(walked.mid(1, 6), expected.mid(0, 6));

    // Proportions: the path box spans the width; the bar and Cancel share a row.
    const QRect path = dialog->findChild<QPlainTextEdit*>()->geometry();
    const QRect bar = dialog->Progress()->geometry();
    const QRect cancel = dialog->CancelButton()->geometry();
    QVERIFY(path.width() > dialog->width() * 3 / 4);
    QVERIFY(bar.right() < cancel.left());
    QVERIFY(cancel.bottom() >= bar.bottom() - 2 && cancel.bottom() <= bar.bottom() + 2);

    QTest::keyClick(dialog, Qt::Key_Escape);  // no transfer runs: it just goes
    QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), kWaitMs);
}

void SendingDlgTest::hugeTotalsAndCountsShowWhole() {
    CommSettings settings;
    TransferSession session(settings);
    auto* dialog = new CSendingDlg(session, nullptr);
    dialog->SetInfo(QStringLiteral("COM1"), QString(), QString());
    QVERIFY(dialog->Create());
    const quint64 total = 5'000'000'000ULL;
    dialog->SetRange(total);
    dialog->SetPos(total / 2);
    QVERIFY(dialog->Progress()->maximum() > INT_MAX / 2);
    QCOMPARE(dialog->Progress()->value(), dialog->Progress()->maximum() / 2);
    dialog->SetByteCount(4'294'967'296ULL);
    dialog->ShowPendingCount();  // not drawn again within kShowIntervalMs
    QCOMPARE(dialog->findChildren<QLabel*>(Qt::FindDirectChildrenOnly).at(3)->text(), QStringLiteral("4294967296"));
    dialog->Dismiss();
}

void SendingDlgTest::aStallSaysWhatTheSendWaitsFor_data() {
    QTest::addColumn<int>("family");
    QTest::addColumn<QString>("command");  // what the controller does
    QTest::addColumn<QString>("expected");  // a pattern of the status line
    QTest::newRow("Xon: no DC1 yet") << 4 << QString() << QStringLiteral("^Waiting 0:0\\d for the controller's DC1$");
    QTest::newRow("Echo: no answer") << 0 << QStringLiteral("stall at 40")
                                     << QStringLiteral("^Waiting 0:0\\d for the controller's answer$");
    QTest::newRow("Block: XOFF held") << 1 << QStringLiteral("dc3 at 40")
                                      << QStringLiteral("^Held by XOFF for 0:0\\d: waiting for the controller's DC1$");
}

// Once nothing has moved for a second the status line says what the send
// waits for and since when, and counts on every second although the byte
// count stands still.
void SendingDlgTest::aStallSaysWhatTheSendWaitsFor() {
    QFETCH(int, family);
    QFETCH(QString, command);
    QFETCH(QString, expected);
    Stage stage;
    QVERIFY(stage.Start(family, {QStringLiteral("--pace")}));
    if (!command.isEmpty()) stage.sim.Command(command, QStringLiteral("armed"));
    stage.session->SendFile(stage.sim.WriteFile(QStringLiteral("long.nc"), LongProgram(4000)));
    QPointer<CSendingDlg> dialog = stage.Dialog();
    QVERIFY(dialog);
    const QRegularExpression pattern(expected);
    QLabel* status = dialog->StatusLabel();
    QTRY_VERIFY2_WITH_TIMEOUT(pattern.match(status->text()).hasMatch(), qPrintable(status->text()), kWaitMs);
    const QString first = status->text();
    const QString count = LabelTexts(dialog).at(3);
    QTRY_VERIFY_WITH_TIMEOUT(status->text() != first, 3 * CProgressDlg::kStallAfter.count());
    QVERIFY2(pattern.match(status->text()).hasMatch(), qPrintable(status->text()));
    QCOMPARE(LabelTexts(dialog).at(3), count);
    SaveScreenshot(dialog, QStringLiteral("sending-stalled-") + QString::number(family));
    dialog->OnCancel();
    QVERIFY(!stage.session->IsBusy());
}

// A pseudo-terminal takes some 20 KB at once whenever it has room: here the
// controller's end reads at 115200 baud, and the port's line is 9600 baud.
// The rate shown is never more than that line can carry.
void SendingDlgTest::rateNeverExceedsTheLine() {
    Stage stage;
    QVERIFY(stage.Start(1, {QStringLiteral("--pace"), QStringLiteral("--line"), QStringLiteral("115200,o,8,1")}));
    stage.session->SendFile(stage.sim.WriteFile(QStringLiteral("long.nc"), LongProgram(20000)));
    QPointer<CSendingDlg> dialog = stage.Dialog();
    QVERIFY(dialog);
    static const QRegularExpression rateOf(QStringLiteral("^Rate: (\\d+) bytes/s"));
    constexpr int kLineBytesPerSecond = 9600 / 10;  // 7O1: start, 7 data, parity, stop
    int rates = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 4000) {
        QTest::qWait(CProgressDlg::kRefreshMs);
        const QRegularExpressionMatch match = rateOf.match(dialog->StatusLabel()->text());
        if (!match.hasMatch()) continue;
        ++rates;
        QVERIFY2(match.captured(1).toInt() <= kLineBytesPerSecond, qPrintable(dialog->StatusLabel()->text()));
    }
    QVERIFY(rates > 0);
    dialog->OnCancel();
}

QTEST_MAIN(SendingDlgTest)
#include "SendingDlgTest.moc"
