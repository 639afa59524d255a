// The session without windows: the port's messages reach the engine in
// posting order on the GUI thread, a message box inside a step holds them
// back, cancel runs to its end, and the log reaches the view's signals.

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <thread>
#include <vector>

#include "serial/SerialOwner.h"
#include "tests/transfer/qt/TransferUiSupport.h"
#include "transfer/TransferEngine.h"
#include "transfer/qt/TransferSession.h"

using namespace quorlin;
using namespace quorlin::test;

namespace {

// Messages the engine ignores, so that only the queue is under test.
constexpr unsigned kTestMessage = WM_USER + 1000;

// Records each message it hands to the engine, and on which thread.
class RecordingSession : public TransferSession {
public:
    using TransferSession::TransferSession;
    struct Handled {
        unsigned message;
        intptr_t lParam;
        QThread* thread;
    };
    std::vector<Handled> handled;

protected:
    void Dispatch(unsigned message, uintptr_t wParam, intptr_t lParam) override {
        handled.push_back(Handled{message, lParam, QThread::currentThread()});
        TransferSession::Dispatch(message, wParam, lParam);
    }
};

struct Rig {
    ScriptedPort::State port;
    CommSettings settings;
    std::unique_ptr<RecordingSession> session;
    Rig() {
        settings.portList = {1, 0, 0, 0, 0};
        settings.sysType = 1;
        session = std::make_unique<RecordingSession>(settings, std::make_unique<ScriptedPort>(port));
    }
    ISerialOwner* Owner() {
        std::lock_guard<std::mutex> lock(port.mutex);
        return port.owner;
    }
};

}  // namespace

class TransferSessionTest : public QObject {
    Q_OBJECT
private slots:
    void messagesFromTwoThreadsArriveInOrderOnTheGuiThread();
    void receivedBytesReachTheLogOneCharacterEach();
    void messageBoxDuringAStepHoldsBackPortMessages();
    void cancelOfAReceiveEndsItBeforeReturning();
    void lostPortEndsTheTransferWithAMessage();
    void logTrimsTenThousandOnlyAboveSixtyFourThousand();
    void busyFollowsTheTransfer();
};

void TransferSessionTest::messagesFromTwoThreadsArriveInOrderOnTheGuiThread() {
    Rig rig;
    QVERIFY(rig.session->OpenPort());
    ISerialOwner* owner = rig.Owner();
    QVERIFY(owner);
    constexpr int kPerThread = 3000;
    auto poster = [owner](intptr_t tag) {
        for (intptr_t i = 0; i < kPerThread; ++i) owner->Post(kTestMessage, 0, tag * 1000000 + i);
    };
    std::thread first(poster, 1), second(poster, 2);
    first.join();
    second.join();
    QTRY_COMPARE_WITH_TIMEOUT(rig.session->handled.size(), size_t(2 * kPerThread), kWaitMs);
    intptr_t next[3] = {0, 0, 0};
    for (const auto& h : rig.session->handled) {
        QCOMPARE(h.thread, QThread::currentThread());
        QCOMPARE(h.message, kTestMessage);
        const intptr_t tag = h.lParam / 1000000;
        QCOMPARE(h.lParam % 1000000, next[tag]++);
    }
    QCOMPARE(rig.session->PendingMessages(), size_t(0));
}

void TransferSessionTest::receivedBytesReachTheLogOneCharacterEach() {
    Rig rig;
    QVERIFY(rig.session->OpenPort());
    QSignalSpy appended(rig.session.get(), &TransferSession::logAppended);
    std::string bytes = "N10G01\r\n";
    for (int b = 0x80; b <= 0xFF; ++b) bytes += static_cast<char>(b);
    std::thread reader([&] { FeedAndPost(rig.port, bytes); });
    reader.join();
    QTRY_COMPARE_WITH_TIMEOUT(rig.session->Log().Length(), bytes.size(), kWaitMs);
    QCOMPARE(rig.session->Log().Text(), bytes);
    QString shown;
    for (const auto& args : appended) shown += args.at(0).toString();
    QCOMPARE(shown.size(), qsizetype(7 + 128));  // CR LF is one line break in the view
    QCOMPARE(shown.right(128).front().unicode(), char16_t(0x80));
    QCOMPARE(shown.back().unicode(), char16_t(0xFF));

    // Text after a zero byte is not shown.
    std::thread more([&] { FeedAndPost(rig.port, std::string("AB\0CD", 5)); });
    more.join();
    QTRY_COMPARE_WITH_TIMEOUT(rig.session->Log().Length(), bytes.size() + 2, kWaitMs);
    QCOMPARE(rig.session->Log().Text().substr(bytes.size()), std::string("AB"));
}

// OpenPort fails inside the step and shows its box; a message posted while
// the box is up waits until the step has returned.
void TransferSessionTest::messageBoxDuringAStepHoldsBackPortMessages() {
    Rig rig;
    QVERIFY(rig.session->OpenPort());
    ISerialOwner* owner = rig.Owner();
    {
        std::lock_guard<std::mutex> lock(rig.port.mutex);
        rig.port.openResult = false;
    }
    QStringList boxes;
    size_t handledInside = 99;
    bool deferred = false;
    connect(rig.session.get(), &TransferSession::messageRequested, this,
            [&](const QString& text, const QString& caption, MessageBoxIcon icon, const QString&) {
                boxes << caption + QLatin1Char('|') + text + QLatin1Char('|') +
                             QString::number(icon == MessageBoxIcon::Error);
                QVERIFY(rig.session->IsInStep());
                // The box's own event loop: the message comes and must wait.
                QSignalSpy held(rig.session.get(), &TransferSession::messagesDeferred);
                std::thread port([owner] { owner->Post(kTestMessage, 0, 7); });
                port.join();
                deferred = held.wait(kWaitMs);
                handledInside = rig.session->handled.size();
                QCOMPARE(rig.session->PendingMessages(), size_t(1));
            });
    QVERIFY(!rig.session->OpenPort());
    QVERIFY(deferred);
    QCOMPARE(handledInside, size_t(0));
    QCOMPARE(boxes, QStringList{QStringLiteral("Error|Can not open COM1 !|1")});
    QTRY_COMPARE_WITH_TIMEOUT(rig.session->handled.size(), size_t(1), kWaitMs);
    QCOMPARE(rig.session->handled[0].lParam, intptr_t(7));
    QVERIFY(!rig.session->IsInStep());
}

void TransferSessionTest::cancelOfAReceiveEndsItBeforeReturning() {
    Rig rig;
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("in.nc"));
    QSignalSpy created(rig.session.get(), &TransferSession::progressCreated);
    QSignalSpy destroyed(rig.session.get(), &TransferSession::progressDestroyed);
    rig.session->ReceiveFile(target);
    QCOMPARE(created.size(), 1);
    QCOMPARE(created[0].at(0).value<ProgressKind>(), ProgressKind::Receiving);
    QCOMPARE(created[0].at(1).toString(), QStringLiteral("COM1"));
    QCOMPARE(created[0].at(3).toString(), target);
    QVERIFY(rig.session->IsBusy());

    rig.session->OnReceiveDlgCancel();
    QVERIFY(!rig.session->IsBusy());
    {
        std::lock_guard<std::mutex> lock(rig.port.mutex);
        QCOMPARE(rig.port.written, std::string("\x1A"));  // one SUB tells the controller
    }
    const std::string& log = rig.session->Log().Text();
    QVERIFY2(EndsWithEndLine(QString::fromStdString(log), QStringLiteral("File receiving cancelled")), log.c_str());
    QCOMPARE(destroyed.size(), 0);  // the dialog removes itself

    // A program that still arrives is shown, not stored.
    std::thread late([&] { FeedAndPost(rig.port, "N1G00\n"); });
    late.join();
    QTRY_VERIFY_WITH_TIMEOUT(rig.session->Log().Text().ends_with("N1G00\n"), kWaitMs);
    QCOMPARE(Simulator::ReadFile(target), QByteArray());
}

void TransferSessionTest::lostPortEndsTheTransferWithAMessage() {
    Rig rig;
    QTemporaryDir folder;
    QSignalSpy boxes(rig.session.get(), &TransferSession::messageRequested);
    QSignalSpy destroyed(rig.session.get(), &TransferSession::progressDestroyed);
    rig.session->ReceiveFile(folder.filePath(QStringLiteral("in.nc")));
    ISerialOwner* owner = rig.Owner();
    std::thread reader([owner] { owner->Post(WM_SERIAL_DEVLOST, 1, 0); });
    reader.join();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.session->IsBusy(), kWaitMs);
    QCOMPARE(destroyed.size(), 1);
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes[0].at(0).toString().contains(QStringLiteral("COM1")));
    QCOMPARE(boxes[0].at(1).toString(), QStringLiteral("Error"));
    QVERIFY(EndsWithEndLine(QString::fromStdString(rig.session->Log().Text()),
                            QStringLiteral("Transfer stopped: the serial port was lost")));
}

void TransferSessionTest::logTrimsTenThousandOnlyAboveSixtyFourThousand() {
    Rig rig;
    TransferEngine& engine = rig.session->Engine();
    QSignalSpy erased(rig.session.get(), &TransferSession::logFrontErased);
    const std::string line(98, 'X');
    std::string expected;
    for (int i = 0; i < 640; ++i) {  // 640 lines of 100 characters with CR LF: 64,000
        engine.AppendLog((line + "\r\n").c_str());
        expected += line + "\r\n";
    }
    QCOMPARE(rig.session->Log().Length(), size_t(64000));
    engine.AppendLog("A");  // exactly 64,000 before it: no trim
    expected += "A";
    QCOMPARE(erased.size(), 0);
    QCOMPARE(rig.session->Log().Length(), size_t(64001));
    engine.AppendLog("B");  // above: the first 10,000 go, then B comes
    expected = expected.substr(10000) + "B";
    QCOMPARE(erased.size(), 1);
    QCOMPARE(erased[0].at(0).toInt(), 10000 - 100);  // 100 CR LF pairs are 100 view characters fewer
    QCOMPARE(rig.session->Log().Text(), expected);
    QCOMPARE(rig.session->Log().Length(), size_t(54002));
}

void TransferSessionTest::busyFollowsTheTransfer() {
    Rig rig;
    QTemporaryDir folder;
    QSignalSpy busy(rig.session.get(), &TransferSession::busyChanged);
    rig.session->ReceiveFile(folder.filePath(QStringLiteral("in.nc")));
    QCOMPARE(rig.settings.busy, 1);
    rig.session->OnReceiveDlgCancel();
    QCOMPARE(rig.settings.busy, 0);
    QCOMPARE(busy.size(), 2);
    QCOMPARE(busy[0].at(0).toBool(), true);
    QCOMPARE(busy[1].at(0).toBool(), false);
}

QTEST_GUILESS_MAIN(TransferSessionTest)
#include "TransferSessionTest.moc"
