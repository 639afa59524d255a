// The Convert button's work, at once or on a thread of its own: when each
// happens, that the outcome arrives on the GUI thread, and that nothing is
// lost or left running.

#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "convert/qt/ConversionJob.h"

using namespace quorlin;

Q_DECLARE_METATYPE(quorlin::ConversionOutcome)

namespace {

ConversionOutcome FinishedOutcome() {
    ConversionOutcome outcome;
    outcome.Finished();
    return outcome;
}

// A gate the work waits at until the test opens it.
class Gate {
public:
    void Open() {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    void Wait() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

}  // namespace

class ConversionJobTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<ConversionOutcome>(); }

    void smallSourcesAreConvertedAtOnceOnTheCallersThread() {
        ConversionJob job;
        QSignalSpy running(&job, &ConversionJob::runningChanged);
        std::thread::id workThread;
        bool delivered = false;
        connect(&job, &ConversionJob::finished, this,
                [&](const ConversionOutcome& outcome) { delivered = outcome.finished; });
        job.Run(
            [&] {
                workThread = std::this_thread::get_id();
                return FinishedOutcome();
            },
            ConversionJob::kBackgroundWorkBytes);
        QVERIFY(delivered);
        QCOMPARE(workThread, std::this_thread::get_id());
        QCOMPARE(running.size(), 0);
        QVERIFY(!job.IsRunning());
    }

    void largeSourcesAreConvertedOnAThreadAndReportedHere() {
        ConversionJob job;
        QSignalSpy running(&job, &ConversionJob::runningChanged);
        std::thread::id workThread;
        std::thread::id deliveredOn;
        std::vector<DialogMessage> delivered;
        connect(&job, &ConversionJob::finished, this, [&](const ConversionOutcome& outcome) {
            deliveredOn = std::this_thread::get_id();
            delivered = outcome.messages;
        });
        QSignalSpy finished(&job, &ConversionJob::finished);
        Gate gate;
        job.Run(
            [&] {
                gate.Wait();
                workThread = std::this_thread::get_id();
                ConversionOutcome outcome;
                outcome.Error("first");
                outcome.Finished();
                return outcome;
            },
            ConversionJob::kBackgroundWorkBytes + 1);
        QCOMPARE(running.size(), 1);
        QCOMPARE(running.first().first().toBool(), true);
        QVERIFY(job.IsRunning());
        // A second press while it runs is ignored.
        bool secondRan = false;
        job.Run(
            [&] {
                secondRan = true;
                return ConversionOutcome{};
            },
            0);
        QVERIFY(!secondRan);
        gate.Open();
        QVERIFY(finished.wait(10000));
        QVERIFY(!job.IsRunning());
        QCOMPARE(running.size(), 2);
        QCOMPARE(running.last().first().toBool(), false);
        QVERIFY(workThread != std::this_thread::get_id());
        QCOMPARE(deliveredOn, std::this_thread::get_id());
        QCOMPARE(delivered.size(), 2u);
        QCOMPARE(delivered[0].text, std::string("first"));
        QCOMPARE(delivered[1].text, std::string(kTextConvertFinished));
    }

    void aThrowingConversionEndsInAnErrorNotAFinish_data() {
        QTest::addColumn<qint64>("sourceBytes");
        QTest::newRow("at once") << qint64{0};
        QTest::newRow("on a thread") << ConversionJob::kBackgroundWorkBytes + 1;
    }
    void aThrowingConversionEndsInAnErrorNotAFinish() {
        QFETCH(qint64, sourceBytes);
        ConversionJob job;
        QSignalSpy finished(&job, &ConversionJob::finished);
        ConversionOutcome delivered;
        connect(&job, &ConversionJob::finished, this, [&](const ConversionOutcome& outcome) { delivered = outcome; });
        job.Run([]() -> ConversionOutcome { throw std::runtime_error("disk gone"); }, sourceBytes);
        if (finished.isEmpty()) QVERIFY(finished.wait(10000));
        QVERIFY(!delivered.finished);
        QCOMPARE(delivered.messages.size(), 1u);
        QCOMPARE(delivered.messages[0].text, std::string("The conversion stopped: disk gone"));
        QCOMPARE(delivered.messages[0].caption, std::string(kCaptionError));
        QCOMPARE(delivered.messages[0].icon, MessageIcon::Error);
    }

    void destroyingTheJobWaitsForItsConversionToEnd() {
        std::atomic<bool> ended{false};
        Gate started;
        Gate release;
        auto job = std::make_unique<ConversionJob>();
        job->Run(
            [&] {
                started.Open();
                release.Wait();
                ended = true;
                return FinishedOutcome();
            },
            ConversionJob::kBackgroundWorkBytes + 1);
        started.Wait();
        std::thread releaser([&] { release.Open(); });
        job.reset();
        QVERIFY(ended);
        releaser.join();
    }
};

QTEST_GUILESS_MAIN(ConversionJobTest)
#include "ConversionJobTest.moc"
