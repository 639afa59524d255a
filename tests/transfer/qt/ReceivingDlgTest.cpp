// The "Receiving" dialog during real receives from quorlin-sim over a
// pseudo-terminal: its texts and place, the byte count as the program comes,
// and Cancel telling the controller with exactly one SUB before the window
// goes.

#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "tests/transfer/qt/TransferUiSupport.h"
#include "transfer/qt/CommView.h"
#include "transfer/qt/DialogGeometry.h"
#include "ui/DialogPlacement.h"
#include "transfer/qt/ProgressDialogs.h"
#include "transfer/qt/TransferSession.h"

using namespace quorlin;
using namespace quorlin::test;

namespace {

constexpr qint64 kCancelBoundMs = 3000;  // the promise is one second

struct Stage : ViewStage {
    Stage() : ViewStage({60, 70, 700, 500}) {}
    CReceivingDlg* Dialog() const { return qobject_cast<CReceivingDlg*>(view->ProgressDialog()); }
};

QString ByteCountShown(QWidget* dialog) {
    // Port, system, "Bytes:", count: the labels in their order.
    return dialog->findChildren<QLabel*>(Qt::FindDirectChildrenOnly).at(3)->text();
}

QByteArray WithCrLf(QByteArray text) { return text.replace("\n", "\r\n"); }

}  // namespace

class ReceivingDlgTest : public QObject {
    Q_OBJECT
private slots:
    void wholeReceiveStoresTheProgramAndCountsIt();
    void cancelSendsOneSubAndEndsTheReceive();
    void silenceShowsHowLongNoDataCame();
    void aSteadyReceiveShowsNoTimeLeft();
};

void ReceivingDlgTest::wholeReceiveStoresTheProgramAndCountsIt() {
    Stage stage;
    QVERIFY(stage.Start(1));
    const QByteArray program = LongProgram(300);
    const QString source = stage.sim.WriteFile(QStringLiteral("controller.nc"), program);
    const QString target = stage.sim.Folder() + QStringLiteral("/received.nc");

    QPointer<CReceivingDlg> dialog;
    QString finalCount;
    bool pictured = false;
    connect(stage.session.get(), &TransferSession::byteCountChanged, this, [&](quint64 count) {
        if (!pictured && count > quint64(program.size()) / 3) {
            pictured = true;
            SaveScreenshot(dialog, QStringLiteral("receiving-dialog"));
        }
    });
    connect(stage.session.get(), &TransferSession::progressDestroyed, this,
            [&] {
                dialog->ShowPendingCount();  // what the last redraw would show
                finalCount = ByteCountShown(dialog);
            });

    stage.session->ReceiveFile(target);
    dialog = stage.Dialog();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Receiving"));
    QCOMPARE(ByteCountShown(dialog), QStringLiteral("0"));
    const QList<QLabel*> labels = dialog->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(labels.at(0)->text(), QStringLiteral("COM1"));
    QCOMPARE(labels.at(1)->text(), QStringLiteral("43F,43QV,57F,57QV"));
    QVERIFY(labels.at(1)->alignment() & Qt::AlignRight);
    QCOMPARE(labels.at(2)->text(), QStringLiteral("Bytes:"));
    QCOMPARE(dialog->findChild<QPlainTextEdit*>()->toPlainText(), target);
    QCOMPARE(dialog->pos(), CentredTopLeft(stage.main.frameGeometry(), dialog->frameGeometry().size()));
    QVERIFY(stage.Log().endsWith(QStringLiteral("   Begin to receive file\r\n")));

    stage.sim.Command(QStringLiteral("send ") + source, QStringLiteral("sending program"));
    QTRY_VERIFY_WITH_TIMEOUT(!stage.session->IsBusy(), kWaitMs);
    QVERIFY2(EndsWithEndLine(stage.Log(), QStringLiteral("File receiving completed")), qPrintable(stage.Log().right(200)));
    QCOMPARE(Simulator::ReadFile(target), WithCrLf(program));
    QCOMPARE(finalCount, QString::number(WithCrLf(program).size()));
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), kWaitMs);
    // The log shows what the controller sent, between the two entries.
    QVERIFY(stage.Log().contains(QString::fromLatin1(program.left(40))));
}

void ReceivingDlgTest::cancelSendsOneSubAndEndsTheReceive() {
    Stage stage;
    QVERIFY(stage.Start(1, {QStringLiteral("--pace"), QStringLiteral("--line"), QStringLiteral("115200,o,8,1")}));
    const QString source = stage.sim.WriteFile(QStringLiteral("long.nc"), LongProgram(10000));
    const QString target = stage.sim.Folder() + QStringLiteral("/received.nc");
    stage.session->ReceiveFile(target);
    QPointer<CReceivingDlg> dialog = stage.Dialog();
    QVERIFY(dialog);
    stage.sim.Command(QStringLiteral("mark at 300"), QStringLiteral("armed mark"));
    stage.sim.Command(QStringLiteral("send ") + source, QStringLiteral("sending program"));
    QVERIFY(!stage.sim.Reports(QStringLiteral("reached 300 bytes")).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(ByteCountShown(dialog) != QStringLiteral("0"), kWaitMs);

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
    const qint64 took = clock.elapsed();
    qInfo("cancel returned after %lld ms", took);
    QVERIFY(took < kCancelBoundMs);
    QVERIFY(!stage.session->IsBusy());
    QVERIFY2(EndsWithEndLine(stage.Log(), QStringLiteral("File receiving cancelled")), qPrintable(stage.Log().right(200)));
    QVERIFY(dialog.isNull() || !dialog->isVisible());

    QVERIFY(!stage.sim.Reports(QStringLiteral("send cancelled by pc")).isEmpty());
    const QString status = stage.sim.Command(QStringLiteral("status"), QStringLiteral("status"));
    QVERIFY2(status.contains(QStringLiteral(" pc-subs 1 ")), qPrintable(status));
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), kWaitMs);
    // What was stored before the cancel stays on disk.
    QVERIFY(Simulator::ReadFile(target).startsWith("N1G01X1Y7\r\nN"));
}

// Until the controller sends, and again when it stops, the dialog says for
// how long no data came; in between it shows the rate the line carried.
void ReceivingDlgTest::silenceShowsHowLongNoDataCame() {
    Stage stage;
    QVERIFY(stage.Start(1, {QStringLiteral("--pace"), QStringLiteral("--line"), QStringLiteral("9600,o,7,1")}));
    const QString program = stage.sim.WriteFile(QStringLiteral("part.nc"), LongProgram(300));
    stage.session->ReceiveFile(stage.sim.Folder() + QStringLiteral("/in.nc"));
    QPointer<CReceivingDlg> dialog = stage.Dialog();
    QVERIFY(dialog);
    static const QRegularExpression silent(QStringLiteral("^No data for 0:0\\d$"));
    static const QRegularExpression moving(QStringLiteral("^Rate: (\\d+) bytes/s"));
    QTRY_VERIFY2_WITH_TIMEOUT(silent.match(dialog->StatusLabel()->text()).hasMatch(),
                              qPrintable(dialog->StatusLabel()->text()), kWaitMs);
    stage.sim.Command(QStringLiteral("stall at 3000"), QStringLiteral("armed"));
    stage.sim.Command(QStringLiteral("send ") + program, QStringLiteral("sending program"));
    QTRY_VERIFY2_WITH_TIMEOUT(moving.match(dialog->StatusLabel()->text()).hasMatch(),
                              qPrintable(dialog->StatusLabel()->text()), kWaitMs);
    QVERIFY(moving.match(dialog->StatusLabel()->text()).captured(1).toInt() <= 960);
    SaveScreenshot(dialog, QStringLiteral("receiving-dialog"));
    QTRY_VERIFY2_WITH_TIMEOUT(silent.match(dialog->StatusLabel()->text()).hasMatch(),
                              qPrintable(dialog->StatusLabel()->text()), kWaitMs);
    dialog->OnCancel();
    QVERIFY(!stage.session->IsBusy());
}

// The size of what comes cannot be known: a steady rate must not show a
// time left as if the program had already arrived.
void ReceivingDlgTest::aSteadyReceiveShowsNoTimeLeft() {
    Stage stage;
    QVERIFY(stage.Start(1, {QStringLiteral("--pace"), QStringLiteral("--line"), QStringLiteral("115200,o,8,1")}));
    // About 8 s at the paced line: longer than the rate needs to become steady.
    const QString program = stage.sim.WriteFile(QStringLiteral("part.nc"), LongProgram(5500));
    stage.session->ReceiveFile(stage.sim.Folder() + QStringLiteral("/in.nc"));
    QPointer<CReceivingDlg> dialog = stage.Dialog();
    QVERIFY(dialog);
    stage.sim.Command(QStringLiteral("send ") + program, QStringLiteral("sending program"));
    QStringList shown;
    QElapsedTimer clock;
    clock.start();
    while (stage.session->IsBusy() && dialog && clock.elapsed() < 3 * kWaitMs) {
        QTest::qWait(CProgressDlg::kRefreshMs);
        if (dialog && (shown.isEmpty() || shown.back() != dialog->StatusLabel()->text()))
            shown << dialog->StatusLabel()->text();
    }
    QVERIFY2(!stage.session->IsBusy(), qPrintable(shown.join(QLatin1Char('|'))));
    QVERIFY2(clock.elapsed() > 6000, "the receive ended before its rate could be steady");
    QVERIFY2(!shown.filter(QStringLiteral("Rate: ")).isEmpty(), qPrintable(shown.join(QLatin1Char('|'))));
    QVERIFY2(shown.filter(QStringLiteral("Time left")).isEmpty(), qPrintable(shown.join(QLatin1Char('|'))));
}

QTEST_MAIN(ReceivingDlgTest)
#include "ReceivingDlgTest.moc"
