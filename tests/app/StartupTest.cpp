// Start-up: one copy per profile, the command line's file (a later copy's
// opened by the running one), the profile's values, the window shown; and
// the real program started twice.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "app/MainFrame.h"
#include "profile/Profile.h"
#include "app/QuorlinApp.h"
#include "app/QuorlinDoc.h"
#include "app/QuorlinView.h"
#include "app/SingleInstance.h"
#include "res/CommandIds.h"
#include "tests/app/AppTestSupport.h"
#include "ui/CommandAction.h"

using namespace quorlin;

namespace {
constexpr int kProcessDeadlineMs = 20000;
}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startsWithAnUntitledDocumentAndShowsTheWindow();
    void secondStartRaisesTheFirstAndEnds();
    void aSecondProgramHandsItsFileToTheFirst();
    void aRunningCopyThatDoesNotAnswerIsSaid();
    void commandLineFileIsOpened();
    void commandLineFileThatCannotBeOpenedEndsTheProgram_data();
    void commandLineFileThatCannotBeOpenedEndsTheProgram();
    void profileValuesOfAnyKindAreSurvived();
    void theProgramStartedTwice();
    void quitSignalsEndTheProgramAndRemoveItsSocket_data();
    void quitSignalsEndTheProgramAndRemoveItsSocket();
    void aNamedPipeAsTheProfileDoesNotHoldTheStartUp();
    void aFileSizeLimitOnSaveIsAFullDisk();

private:
    std::unique_ptr<test::PtyPorts> m_ports;
    test::ModalMessageCloser m_closer;
    test::FakePrompts m_prompts;
    QTemporaryDir m_files;
};

void StartupTest::init() {
    test::ClearProfile();
    m_ports = std::make_unique<test::PtyPorts>(std::initializer_list<unsigned>{1, 4, 7, 9, 12, 20});
    m_prompts = test::FakePrompts();
}

void StartupTest::cleanup() { m_ports.reset(); }

void StartupTest::startsWithAnUntitledDocumentAndShowsTheWindow() {
    CQuorlinApp app(m_prompts);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(app.InitInstance({}));
    CMainFrame* frame = app.MainFrame();
    QVERIFY(frame);
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    qInfo("start-up to an exposed window: %lld ms", static_cast<long long>(clock.elapsed()));
    QCOMPARE(frame->windowTitle(), QStringLiteral("Quorlin1.74 - Untitled"));
    QVERIFY(frame->acceptDrops());
    QVERIFY(!frame->Document().IsModified());
    // Empty profile: family 0, 9600 baud, the first five ports that open.
    QCOMPARE(frame->Settings().sysType, 0);
    QCOMPARE(frame->Settings().baud, 9600);
    QCOMPARE(frame->Settings().portList, (std::array<int32_t, 5>{1, 4, 7, 9, 12}));
    QCOMPARE(frame->GetPortNumber(), 1u);
    QVERIFY(frame->Action(cmd::kDownloadInterface));
    QVERIFY(m_prompts.messages.empty());
}

// The second copy names its file relative to its own folder; the first
// comes to the front and opens it.
void StartupTest::secondStartRaisesTheFirstAndEnds() {
    CQuorlinApp first(m_prompts);
    QVERIFY(first.InitInstance({}));
    first.MainFrame()->showMinimized();
    QTRY_VERIFY(first.MainFrame()->isMinimized());

    test::FakePrompts secondPrompts;
    CQuorlinApp second(secondPrompts);
    test::WriteFile(m_files, "second.nc", "G01\r\n");
    const QString previousFolder = QDir::currentPath();
    QDir::setCurrent(m_files.path());
    const bool started = second.InitInstance({QStringLiteral("second.nc")});
    QDir::setCurrent(previousFolder);
    QVERIFY(!started);
    QVERIFY(second.FoundRunningCopy());
    QCOMPARE(second.ExitCode(), 0);
    QVERIFY(!second.MainFrame());
    QTRY_VERIFY(!first.MainFrame()->isMinimized());
    QVERIFY(first.MainFrame()->isVisible());
    QTRY_COMPARE(first.MainFrame()->Document().Title(), QStringLiteral("second.nc"));
    QCOMPARE(first.MainFrame()->Document().PathName(), m_files.filePath(QStringLiteral("second.nc")));
    QVERIFY(secondPrompts.messages.empty());
}

void StartupTest::commandLineFileIsOpened() {
    const QString path = test::WriteFile(m_files, "O1234.nc", "O1234\nG01 X1\n");
    CQuorlinApp app(m_prompts);
    QVERIFY(app.InitInstance({path}));
    QCOMPARE(app.MainFrame()->windowTitle(), QStringLiteral("Quorlin1.74 - O1234.nc"));
    QCOMPARE(app.MainFrame()->GetEditorView()->Text(), QStringLiteral("O1234\nG01 X1\n"));
    QVERIFY(!app.MainFrame()->Document().IsModified());
}

void StartupTest::commandLineFileThatCannotBeOpenedEndsTheProgram_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expectedStart");
    QTest::newRow("missing") << "missing.nc" << "%1 was not found.";
    QTest::newRow("binary") << "binary.nc" << "Failed to open document.";
    QTest::newRow("folder") << "folder" << "Failed to open document.";
}

void StartupTest::commandLineFileThatCannotBeOpenedEndsTheProgram() {
    QFETCH(QString, name);
    QFETCH(QString, expectedStart);
    const QString path = m_files.filePath(name);
    if (name == "binary.nc") test::WriteFile(m_files, name, QByteArray("\x7f" "ELF\0\0", 6));
    if (name == "folder") QVERIFY(QDir().mkpath(path));
    CQuorlinApp app(m_prompts);
    QVERIFY(!app.InitInstance({path}));
    QVERIFY(!app.FoundRunningCopy());
    QVERIFY(!app.MainFrame());
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    const QString expected = expectedStart.contains(QStringLiteral("%1")) ? expectedStart.arg(path) : expectedStart;
    QVERIFY2(m_prompts.messages[0].text.startsWith(expected), qPrintable(m_prompts.messages[0].text));
    // Nothing is left listening: the next start is a first copy.
    QVERIFY(!SingleInstance(SingleInstance::KeyForProfile()).AskRunningCopyToRaise());
}

void StartupTest::profileValuesOfAnyKindAreSurvived() {
    test::SetProfileValue("CommPort", 3);  // ports 1, 4, 7, 9, 12: index 3 is COM9
    test::SetProfileValue("SysType", 4);
    test::SetProfileValue("BaudRate", 1);
    {
        CQuorlinApp app(m_prompts);
        QVERIFY(app.InitInstance({}));
        QCOMPARE(app.MainFrame()->Settings().baud, 19200);
        QCOMPARE(app.MainFrame()->GetPortNumber(), 9u);
    }
    test::SetProfileValue("CommPort", 9);
    test::SetProfileValue("SysType", "three");
    test::SetProfileValue("BaudRate", -5);
    {
        CQuorlinApp app(m_prompts);
        QVERIFY(app.InitInstance({}));
        const CMainFrame* frame = app.MainFrame();
        QCOMPARE(frame->Settings().sysType, 0);
        QCOMPARE(frame->Settings().baud, 9600);
        QCOMPARE(frame->GetPortNumber(), 0u);  // no such place in the list
        QCOMPARE(frame->OperationMenu()->actions().size(), 8);
    }
    test::SetProfileValue("SysType", 12);
    {
        CQuorlinApp app(m_prompts);
        QVERIFY(app.InitInstance({}));
        QCOMPARE(app.MainFrame()->OperationMenu()->actions().size(), 6);
    }
}

void StartupTest::theProgramStartedTwice() {
    QProcess first;
    first.setProgram(QStringLiteral(QUORLIN_BINARY));
    first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    first.start();
    QVERIFY(first.waitForStarted(kProcessDeadlineMs));

    // The first copy answers once its window exists.
    const QString key = SingleInstance::KeyForProfile();
    QTRY_VERIFY_WITH_TIMEOUT(
        [&key] {
            QLocalSocket probe;
            probe.connectToServer(key);
            return probe.waitForConnected(100);
        }(),
        kProcessDeadlineMs);

    QProcess second;
    QElapsedTimer clock;
    clock.start();
    second.start(QStringLiteral(QUORLIN_BINARY), {m_files.filePath("missing.nc")});
    QVERIFY(second.waitForFinished(kProcessDeadlineMs));
    qInfo("second copy ended after %lld ms", static_cast<long long>(clock.elapsed()));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);  // the first took the file: it says there that the file is missing
    QCOMPARE(first.state(), QProcess::Running);

    first.terminate();
    QVERIFY(first.waitForFinished(kProcessDeadlineMs));
}

// A file started from the file manager while the program runs: the second
// program, started in another folder with the file's relative name, hands it
// to the running copy and ends with 0; the running copy asks about its
// changed document as File > Open does, keeps it on Cancel, and opens the
// file on No.
void StartupTest::aSecondProgramHandsItsFileToTheFirst() {
    CQuorlinApp first(m_prompts);
    QVERIFY(first.InitInstance({}));
    CMainFrame& frame = *first.MainFrame();
    frame.GetEditorView()->insertPlainText(QStringLiteral("G00 X5"));
    QVERIFY(frame.Document().IsModified());
    test::WriteFile(m_files, "part.nc", "O0042\r\nG01 X1\r\n");

    const auto startSecond = [this](qint64* endedAfterMs) {
        QProcess second;
        second.setProcessChannelMode(QProcess::ForwardedChannels);
        second.setWorkingDirectory(m_files.path());
        QElapsedTimer clock;
        clock.start();
        second.start(QStringLiteral(QUORLIN_BINARY), {QStringLiteral("part.nc")});
        // The first copy answers on this thread: wait with its events going.
        const bool ended = QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, kProcessDeadlineMs);
        *endedAfterMs = clock.elapsed();
        return ended && second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    };

    qint64 endedAfterMs = 0;
    m_prompts.answers.push_back(PromptAnswer::Cancel);
    QCOMPARE(startSecond(&endedAfterMs), 0);
    qInfo("second program ended after %lld ms", static_cast<long long>(endedAfterMs));
    QTRY_COMPARE(m_prompts.messages.size(), size_t(1));
    QCOMPARE(m_prompts.messages[0].text, QStringLiteral("Save changes to Untitled?"));
    QVERIFY(m_prompts.messages[0].buttons == PromptButtons::YesNoCancel);
    QCOMPARE(frame.Document().Title(), QStringLiteral("Untitled"));
    QCOMPARE(frame.GetEditorView()->Text(), QStringLiteral("G00 X5"));

    m_prompts.answers.push_back(PromptAnswer::No);
    QCOMPARE(startSecond(&endedAfterMs), 0);
    QTRY_COMPARE(frame.Document().Title(), QStringLiteral("part.nc"));
    QCOMPARE(m_prompts.messages.size(), size_t(2));
    QCOMPARE(frame.Document().PathName(), m_files.filePath(QStringLiteral("part.nc")));
    QCOMPARE(frame.GetEditorView()->Text(), QStringLiteral("O0042\nG01 X1\n"));
    QVERIFY(!frame.Document().IsModified());
}

// A copy that holds the socket but does not answer (hung): the second
// program says so on stderr and ends with a failure, within its bounded
// wait, rather than ending as if the file had been opened.
void StartupTest::aRunningCopyThatDoesNotAnswerIsSaid() {
    QLocalServer silent;
    QVERIFY(silent.listen(SingleInstance::KeyForProfile()));
    test::WriteFile(m_files, "part.nc", "O0042\r\n");
    QProcess second;
    QElapsedTimer clock;
    clock.start();
    second.start(QStringLiteral(QUORLIN_BINARY), {m_files.filePath(QStringLiteral("part.nc"))});
    QVERIFY(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, kProcessDeadlineMs));
    qInfo("second program gave up after %lld ms", static_cast<long long>(clock.elapsed()));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 1);
    const QByteArray said = second.readAllStandardError();
    QVERIFY2(said.contains("did not answer the request to open " + QFile::encodeName(m_files.filePath("part.nc"))),
             said.constData());
}

// Waits until the program started as process answers on its socket.
bool AnswersOn(const QString& key, QProcess& process) {
    if (!process.waitForStarted(kProcessDeadlineMs)) return false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kProcessDeadlineMs && process.state() == QProcess::Running) {
        QLocalSocket probe;
        probe.connectToServer(key);
        if (probe.waitForConnected(100)) return true;
        process.waitForFinished(50);  // a bounded look at whether it ended instead
    }
    return false;
}

void StartupTest::quitSignalsEndTheProgramAndRemoveItsSocket_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

// Logging out or kill: the program ends as by Exit, and its socket lives in
// the user's runtime folder and goes with it.
void StartupTest::quitSignalsEndTheProgramAndRemoveItsSocket() {
    QFETCH(int, signalNumber);
    QTemporaryDir runtime;
    const QByteArray previous = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const QString key = SingleInstance::KeyForProfile();
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QStringLiteral(QUORLIN_BINARY));
    const bool answered = AnswersOn(key, program);
    if (previous.isNull()) qunsetenv("XDG_RUNTIME_DIR");
    else qputenv("XDG_RUNTIME_DIR", previous);
    QVERIFY(answered);
    QVERIFY2(key.startsWith(runtime.path() + QLatin1Char('/')), qPrintable(key));
    QVERIFY(QFileInfo::exists(key));

    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(program.processId()), signalNumber);
    QVERIFY(program.waitForFinished(kProcessDeadlineMs));
    qInfo("ended %lld ms after the signal", static_cast<long long>(clock.elapsed()));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(clock.elapsed() < 3000);
    QVERIFY2(!QFileInfo::exists(key), "the socket was left behind");
}

// Reading a named pipe would wait for a writer that never comes.
void StartupTest::aNamedPipeAsTheProfileDoesNotHoldTheStartUp() {
    const QString profile = ProfileLocation();
    QVERIFY(QDir().mkpath(QFileInfo(profile).path()));
    QFile::remove(profile);
    QCOMPARE(::mkfifo(QFile::encodeName(profile).constData(), 0600), 0);
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QStringLiteral(QUORLIN_BINARY));
    const bool answered = AnswersOn(SingleInstance::KeyForProfile(), program);
    program.terminate();
    program.waitForFinished(kProcessDeadlineMs);
    QFile::remove(profile);
    QVERIFY(answered);
}

// The program as started (this test leaves SIGXFSZ as it found it): a save
// past the file-size limit shows the full-disk failure and keeps the edits,
// instead of the limit's signal ending the program.
void StartupTest::aFileSizeLimitOnSaveIsAFullDisk() {
    const QByteArray old = "O0001\r\n";
    const QString path = test::WriteFile(m_files, "part.nc", old);
    CQuorlinApp app(m_prompts);
    QVERIFY(app.InitInstance({path}));
    CQuorlinDoc& document = app.MainFrame()->Document();
    app.MainFrame()->GetEditorView()->insertPlainText(QString(100000, QLatin1Char('G')));
    rlimit limit{}, small{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    small = limit;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool saved = document.OnFileSave();
    ::setrlimit(RLIMIT_FSIZE, &limit);
    QVERIFY(!saved);
    QVERIFY(!m_prompts.messages.empty());
    QVERIFY2(m_prompts.messages.back().text.startsWith(QStringLiteral("Failed to save document.")),
             qPrintable(m_prompts.messages.back().text));
    QVERIFY(document.IsModified());
    QCOMPARE(test::ReadWholeFile(path), old);
}

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
