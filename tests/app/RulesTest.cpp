// The application's rules without windows: the Operation menu by family,
// what a transfer disables, the first split, the window's fit on the screen,
// the file dialogs, the profile, block numbers, the single-byte text of
// program files and the file operations.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <set>

#include "app/BlockNumbers.h"
#include "app/FrameRules.h"
#include "app/NcFile.h"
#include "app/NcHighlighter.h"
#include "app/NcText.h"
#include "profile/Profile.h"
#include "profile/RememberedState.h"
#include "app/SingleInstance.h"
#include "res/CommandIds.h"
#include "res/MenuResource.h"
#include "res/StringTable.h"
#include "tests/app/AppTestSupport.h"
#include "transfer/CommSettings.h"

using namespace quorlin;

class RulesTest : public QObject {
    Q_OBJECT
private slots:
    void init() { test::ClearProfile(); }

    void operationItemsByFamily_data();
    void operationItemsByFamily();
    void transferCommandsAreDisabledWhileBusy();
    void splitGivesTwoThirdsToTheEditor_data();
    void splitGivesTwoThirdsToTheEditor();
    void theWindowFitsTheScreen_data();
    void theWindowFitsTheScreen();
    void blockNumbersOfLines();
    void recentFileEntries();
    void editCommandsFollowThePane();
    void fileDialogsOfTheCommands();
    void menuResourceAndStringTable();

    void emptyProfileReadsZero();
    void profileValuesOfTheWrongTypeReadZero();
    void profileKeepsOutOfRangeValues();
    void profileWrittenValuesReadBack();

    void lineEndingsAreKept_data();
    void lineEndingsAreKept();
    void mixedBreaksAreKeptWhereverThePiecesEnd();
    void charactersBeyondOneByteAreRefused();
    void textForSendingHasCrLf();

    void loadReportsWhyItFailed();
    void loadRefusesBinaryAndHugeFiles();
    void loadDoesNotHangOnAFifo();
    void saveReplacesTheFileWhole();
    void failedSaveLeavesTheOldFile();
    void saveWhereTheRenameFailsLeavesNoTemporary();

    void highlighterRoles();
    void secondCopyAsksTheFirstToRaise();
    void noRunningCopyAnswers();
};

void RulesTest::operationItemsByFamily_data() {
    QTest::addColumn<int>("sysType");
    QTest::addColumn<QList<int>>("ids");
    QTest::addColumn<QList<int>>("kinds");
    QTest::addColumn<QStringList>("texts");
    const QStringList old = {"Download Interface", "Update 57F/57QV/66G software"};
    const QStringList qva = {"Download Interface", "Update 57QVA/58QVA/J4/P70 software", "Down CHN Font"};
    QTest::newRow("0") << 0 << QList<int>{32787, 32803} << QList<int>{1, 3} << old;
    QTest::newRow("1") << 1 << QList<int>{32787, 32803} << QList<int>{1, 3} << old;
    QTest::newRow("2") << 2 << QList<int>{32801} << QList<int>{2} << QStringList{"Update P70/P80/P90"};
    QTest::newRow("3") << 3 << QList<int>{32805, 32806, 32807} << QList<int>{4, 3, 5} << qva;
    QTest::newRow("4") << 4 << QList<int>{32805, 32806, 32807} << QList<int>{4, 3, 5} << qva;
    QTest::newRow("-1") << -1 << QList<int>{} << QList<int>{} << QStringList{};
    QTest::newRow("5") << 5 << QList<int>{} << QList<int>{} << QStringList{};
}

void RulesTest::operationItemsByFamily() {
    QFETCH(int, sysType);
    QFETCH(QList<int>, ids);
    QFETCH(QList<int>, kinds);
    QFETCH(QStringList, texts);
    QList<int> gotIds, gotKinds;
    QStringList gotTexts;
    for (const OperationItem& item : OperationItemsFor(sysType)) {
        gotIds << item.commandId;
        gotKinds << static_cast<int>(item.downloadKind);
        gotTexts << str::LoadText(item.textId);
    }
    QCOMPARE(gotIds, ids);
    QCOMPARE(gotKinds, kinds);
    QCOMPARE(gotTexts, texts);
}

void RulesTest::transferCommandsAreDisabledWhileBusy() {
    for (int id : {32771, 32791, 32792, 32793, 32787, 32801, 32803, 32805, 32806, 32807})
        QVERIFY2(IsDisabledWhileBusy(id), qPrintable(QString::number(id)));
    for (int id : {32800, 32804, 57600, 57601, 57603, 57604, 57665, 57664, 57634, 59392, 59393, 57680})
        QVERIFY2(!IsDisabledWhileBusy(id), qPrintable(QString::number(id)));
}

void RulesTest::splitGivesTwoThirdsToTheEditor_data() {
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("editor");
    QTest::addColumn<int>("log");
    QTest::newRow("600") << 600 << 400 << 200;
    QTest::newRow("601") << 601 << 400 << 200;
    QTest::newRow("602") << 602 << 400 << 200;
    QTest::newRow("603") << 603 << 402 << 201;
    QTest::newRow("0") << 0 << 0 << 0;
}

void RulesTest::splitGivesTwoThirdsToTheEditor() {
    QFETCH(int, height);
    QFETCH(int, editor);
    QFETCH(int, log);
    const SplitSizes sizes = InitialSplit(height);
    QCOMPARE(sizes.editor, editor);
    QCOMPARE(sizes.log, log);
}

void RulesTest::theWindowFitsTheScreen_data() {
    QTest::addColumn<QRect>("available");
    // 1366 by 768 at 150 %: 910 by 512 units, less a 32-unit panel.
    QTest::newRow("small screen, scaled") << QRect(0, 32, 910, 480);
    QTest::newRow("1920x1080") << QRect(0, 0, 1920, 1040);
    QTest::newRow("second screen") << QRect(1920, 100, 1280, 1024);
}

void RulesTest::theWindowFitsTheScreen() {
    QFETCH(QRect, available);
    const QMargins frame(4, 32, 4, 4);
    const QRect first = FirstWindowRect(available, frame);
    QVERIFY2(available.contains(first.marginsAdded(frame)),
             qPrintable(QStringLiteral("%1x%2").arg(first.width()).arg(first.height())));
    QVERIFY(first.width() >= std::min(800, available.width() - 8));
    QVERIFY(first.height() >= std::min(600, available.height() - 36));
    // A stored place too big and partly off the screen comes back inside it;
    // one that fits stays as it was.
    const QRect huge = FitToArea(QRect(available.left() - 200, available.bottom() - 10, 4000, 3000), frame, available);
    QVERIFY(available.contains(huge.marginsAdded(frame)));
    QCOMPARE(huge.size(), available.marginsRemoved(frame).size());
    const QRect fits(available.left() + 10, available.top() + 40, 400, 300);
    QCOMPARE(FitToArea(fits, frame, available), fits);
}

void RulesTest::blockNumbersOfLines() {
    auto number = [](const char* line) {
        const std::optional<BlockWord> word = BlockNumberOf(QString::fromLatin1(line));
        return word ? word->text + QLatin1Char('=') + QString::number(word->number) : QStringLiteral("none");
    };
    QCOMPARE(number("N120 G01 X1"), QStringLiteral("N120=120"));
    QCOMPARE(number("  n0120G01"), QStringLiteral("N0120=120"));
    QCOMPARE(number("/N30 M01"), QStringLiteral("N30=30"));
    QCOMPARE(number("/2 N 40"), QStringLiteral("N40=40"));
    QCOMPARE(number("G01 N50"), QStringLiteral("none"));     // not the first word
    QCOMPARE(number("(N60 in a comment)"), QStringLiteral("none"));
    QCOMPARE(number("N"), QStringLiteral("none"));
    QCOMPARE(number("NX1"), QStringLiteral("none"));
    QCOMPARE(number("N99999999999999999999999"), QStringLiteral("none"));

    QVERIFY(ParseGoToTarget(QStringLiteral(" 12 ")) && !ParseGoToTarget(QStringLiteral("12"))->block);
    QCOMPARE(ParseGoToTarget(QStringLiteral("n 0120"))->number, 120);
    QVERIFY(ParseGoToTarget(QStringLiteral("N0"))->block);
    for (const char* wrong : {"0", "", "N", "G01", "12a", "-3", "1 2"})
        QVERIFY2(!ParseGoToTarget(QString::fromLatin1(wrong)), wrong);
}

void RulesTest::recentFileEntries() {
    QStringList recent;
    for (int i = 1; i <= 9; ++i) recent = WithRecentFile(recent, QStringLiteral("/p/%1.nc").arg(i));
    QCOMPARE(recent.size(), 8);
    QCOMPARE(recent.front(), QStringLiteral("/p/9.nc"));
    recent = WithRecentFile(recent, QStringLiteral("/p/5.nc"));
    QCOMPARE(recent.mid(0, 3), (QStringList{"/p/5.nc", "/p/9.nc", "/p/8.nc"}));
    QCOMPARE(recent.size(), 8);
    QCOMPARE(RecentFileMenuText(0, QStringLiteral("/p/R&D.nc")), QStringLiteral("&1 /p/R&&D.nc"));
    QVERIFY(RecentFileMenuText(7, QStringLiteral("/very") + QString(100, QLatin1Char('x')) + ".nc").size() < 70);
}

void RulesTest::editCommandsFollowThePane() {
    EditState empty;
    QVERIFY(!IsEditCommandEnabled(cmd::kEditUndo, empty));
    QVERIFY(!IsEditCommandEnabled(cmd::kEditCut, empty));
    QVERIFY(!IsEditCommandEnabled(cmd::kEditCopy, empty));
    QVERIFY(!IsEditCommandEnabled(cmd::kEditPaste, empty));
    QVERIFY(!IsEditCommandEnabled(cmd::kEditSelectAll, empty));
    QVERIFY(!IsEditCommandEnabled(cmd::kEditFind, empty));

    EditState selected{false, true, true, true, true};
    for (int id : {cmd::kEditUndo, cmd::kEditCut, cmd::kEditCopy, cmd::kEditPaste, cmd::kEditSelectAll,
                   cmd::kEditFind, cmd::kEditFindNext, cmd::kEditReplace})
        QVERIFY(IsEditCommandEnabled(id, selected));

    EditState log = selected;
    log.readOnly = true;  // the log: copy and select, never change
    QVERIFY(IsEditCommandEnabled(cmd::kEditCopy, log));
    QVERIFY(IsEditCommandEnabled(cmd::kEditSelectAll, log));
    QVERIFY(!IsEditCommandEnabled(cmd::kEditCut, log));
    QVERIFY(!IsEditCommandEnabled(cmd::kEditPaste, log));
    QVERIFY(!IsEditCommandEnabled(cmd::kEditUndo, log));
    QVERIFY(IsEditCommandEnabled(cmd::kSendFile, empty));
}

void RulesTest::fileDialogsOfTheCommands() {
    const FileDialogRequest send = FileDialogFor(cmd::kSendFile);
    QCOMPARE(send.title, QStringLiteral("Select Send File"));
    QCOMPARE(send.filters, (QStringList{"*.nc (*.nc)", "*.* (*)"}));
    QCOMPARE(send.defaultSuffix, QStringLiteral("nc"));
    QVERIFY(send.mode == FileDialogRequest::Mode::OpenExisting);

    const FileDialogRequest receive = FileDialogFor(cmd::kReceiveFile);
    QVERIFY(receive.mode == FileDialogRequest::Mode::Save);
    QVERIFY(receive.title.isEmpty());

    for (int id : {cmd::kDownloadInterface, cmd::kDownloadInterfaceQva}) {
        QCOMPARE(FileDialogFor(id).title, QStringLiteral("Select Bitmap"));
        QCOMPARE(FileDialogFor(id).filters.front(), QStringLiteral("*.bmp (*.bmp)"));
    }
    for (int id : {cmd::kUpdate57F, cmd::kUpdateP70, cmd::kUpdate57Qva}) {
        QCOMPARE(FileDialogFor(id).title, QStringLiteral("Select Software"));
        QCOMPARE(FileDialogFor(id).filters, QStringList{"*.* (*)"});
    }
    const FileDialogRequest font = FileDialogFor(cmd::kDownChnFont);
    QCOMPARE(font.title, QStringLiteral("Select Bitmap"));
    QCOMPARE(font.initialName, QStringLiteral("HZK"));

    QCOMPARE(FileDialogFor(cmd::kFileOpen).title, QStringLiteral("Open"));
    QCOMPARE(FileDialogFor(cmd::kFileOpen).filters.size(), 2);
    QCOMPARE(FileDialogFor(cmd::kFileSaveAs).title, QStringLiteral("Save As"));
    QVERIFY(FileDialogFor(cmd::kFileSaveAs).mode == FileDialogRequest::Mode::Save);
}

void RulesTest::menuResourceAndStringTable() {
    QStringList titles;
    for (const res::MenuPopup& popup : res::MainMenu()) titles << QString::fromUtf8(popup.title);
    QCOMPARE(titles, (QStringList{"&File", "&Edit", "&View", "&Operation", "&Tool", "&Help"}));
    QCOMPARE(int(res::MainMenu()[res::kOperationPopup].items.size()), res::kOperationFixedItems);
    QCOMPARE(str::LoadText(str::kAppTitle), QStringLiteral("Quorlin1.74"));
    QCOMPARE(str::LoadText(str::kFindEnded), QStringLiteral(" find ended!"));
    QCOMPARE(str::CommandTooltip(cmd::kSettings), QStringLiteral("Property"));
    QCOMPARE(str::CommandPrompt(cmd::kSendFile), QStringLiteral("Send File"));
    QCOMPARE(str::CommandTooltip(cmd::kFileNew), QStringLiteral("New"));
    QCOMPARE(str::CommandTooltip(cmd::kBatchConvert), QStringLiteral("Batch converter"));
    // Every command of the menus and the toolbar has its prompt.
    for (const res::MenuPopup& popup : res::MainMenu())
        for (const res::MenuItem& item : popup.items)
            if (item.commandId) QVERIFY2(!str::CommandPrompt(item.commandId).isEmpty(), item.text);
}

void RulesTest::emptyProfileReadsZero() { QCOMPARE(ReadProfile(), (StoredSettings{0, 0, 0})); }

void RulesTest::profileValuesOfTheWrongTypeReadZero() {
    test::SetProfileValue("CommPort", "COM3");
    test::SetProfileValue("SysType", "99999999999");
    test::SetProfileValue("BaudRate", QStringList{"1", "2"});
    QCOMPARE(ReadProfile(), (StoredSettings{0, 0, 0}));
}

void RulesTest::profileKeepsOutOfRangeValues() {
    test::SetProfileValue("CommPort", 7);
    test::SetProfileValue("SysType", -3);
    test::SetProfileValue("BaudRate", 5);
    QCOMPARE(ReadProfile(), (StoredSettings{7, -3, 5}));
    // Their meaning: no port (0), no family's items, 9600 baud.
    CommSettings settings;
    settings.commPort = 7;
    settings.portList = {1, 2, 3, 4, 5};
    QCOMPARE(settings.GetPortNumber(), 0u);
    QVERIFY(OperationItemsFor(-3).empty());
    QCOMPARE(BaudForIndex(3, 5), 9600);
}

void RulesTest::profileWrittenValuesReadBack() {
    QVERIFY(WriteProfile({2, 3, -1}));
    QCOMPARE(ReadProfile(), (StoredSettings{2, 3, -1}));
    QCOMPARE(test::ProfileValue("SysType").toInt(), 3);
}

void RulesTest::lineEndingsAreKept_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("ending");
    QByteArray high;
    for (int b = 0x80; b <= 0xFF; ++b) high += char(b);
    QTest::newRow("CR LF") << QByteArray("O0001\r\nG01 X10\r\nM30\r\n") << int(LineEnding::CrLf);
    QTest::newRow("LF") << QByteArray("O0001\nG01 X10\nM30") << int(LineEnding::Lf);
    QTest::newRow("CR") << QByteArray("O0001\rM30\r") << int(LineEnding::Cr);
    QTest::newRow("bytes 0x80-0xFF") << (QByteArray("(") + high + ")\r\n%\x1a\t\r\n") << int(LineEnding::CrLf);
    QTest::newRow("no break") << QByteArray("G00") << int(LineEnding::CrLf);
    QTest::newRow("empty") << QByteArray() << int(LineEnding::CrLf);
}

void RulesTest::lineEndingsAreKept() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, ending);
    const DecodedText decoded = DecodeNcBytes(bytes);
    QCOMPARE(int(decoded.ending), ending);
    QVERIFY(!decoded.text.contains(QLatin1Char('\r')) || decoded.ending == LineEnding::Lf);
    const std::optional<QByteArray> back = EncodeNcText(decoded.text, decoded.ending);
    QVERIFY(back);
    QCOMPARE(*back, bytes);

    // The same text through a text document (what the editor holds).
    QTextDocument document;
    document.setPlainText(decoded.text);
    QString held = document.toRawText();
    held.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    QCOMPARE(EncodeNcText(held, decoded.ending).value(), bytes);
}

void RulesTest::mixedBreaksAreKeptWhereverThePiecesEnd() {
    // A file is decoded a piece at a time: a CR LF may be split between two
    // pieces, a CR may end the last one.
    const QByteArray bytes = "%\r\nO1\nN10 G01\rN20\r\rN30\r\n\nM30\r";
    const DecodedText whole = DecodeNcBytes(bytes);
    QCOMPARE(whole.text, QStringLiteral("%\nO1\nN10 G01\nN20\n\nN30\n\nM30\n"));
    using E = LineEnding;
    const std::vector<LineEnding> expected {E::CrLf, E::Lf, E::Cr, E::Cr, E::Cr, E::CrLf, E::Lf, E::Cr};
    QVERIFY(whole.breaks == expected);
    QVERIFY(whole.ending == LineEnding::Cr);  // four CR against two of each other
    QCOMPARE(EncodeNcLines(whole.text, whole.breaks, LineEnding::CrLf).value(), bytes);
    for (qsizetype split = 0; split <= bytes.size(); ++split) {
        LineDecoder decoder;
        QString text;
        std::vector<LineEnding> breaks;
        decoder.Decode(bytes.constData(), split, text, breaks);
        decoder.Decode(bytes.constData() + split, bytes.size() - split, text, breaks);
        decoder.Finish(breaks);
        QCOMPARE(text, whole.text);
        QVERIFY2(breaks == expected, qPrintable(QString::number(split)));
    }
    // A line beyond the recorded ones takes the usual break.
    QCOMPARE(EncodeNcLines(QStringLiteral("A\nB\nC"), {E::Cr}, E::Lf).value(), QByteArray("A\rB\nC"));
}

void RulesTest::charactersBeyondOneByteAreRefused() {
    int line = 0;
    QVERIFY(!EncodeNcText(QStringLiteral("G01\nX1 \u20ac\n"), LineEnding::CrLf, &line));
    QCOMPARE(line, 2);
    QCOMPARE(EncodeNcText(QStringLiteral("A\u2029B\u2028C"), LineEnding::Lf).value(), QByteArray("A\nB\nC"));
}

void RulesTest::textForSendingHasCrLf() {
    QCOMPARE(TextForSending(QStringLiteral("G01\nM30\u00e9")).value(), QByteArray("G01\r\nM30\xe9"));
    int line = 0;
    QVERIFY(!TextForSending(QStringLiteral("G01\nM30\u00e9\u20ac"), &line));
    QCOMPARE(line, 2);
}

void RulesTest::loadReportsWhyItFailed() {
    QTemporaryDir folder;
    QByteArray bytes;
    FileResult result = LoadNcFile(folder.filePath("missing.nc"), bytes);
    QVERIFY(result.failure == NcFileFailure::NotFound);
    result = LoadNcFile(folder.path(), bytes);
    QVERIFY(result.failure == NcFileFailure::Other);
    QVERIFY(result.systemError != 0);
    if (::geteuid() != 0) {
        const QString locked = test::WriteFile(folder, "locked.nc", "G01\r\n");
        QFile::setPermissions(locked, QFileDevice::WriteOwner);
        QVERIFY(LoadNcFile(locked, bytes).failure == NcFileFailure::AccessDenied);
    }
    const QString good = test::WriteFile(folder, "good.nc", "G01\r\n");
    QVERIFY(LoadNcFile(good, bytes).ok());
    QCOMPARE(bytes, QByteArray("G01\r\n"));
}

void RulesTest::loadRefusesBinaryAndHugeFiles() {
    QTemporaryDir folder;
    QByteArray bytes = "kept";
    const QString binary = test::WriteFile(folder, "image.bin", QByteArray("BM\0\0\x01", 5));
    QVERIFY(LoadNcFile(binary, bytes).failure == NcFileFailure::Binary);
    QCOMPARE(bytes, QByteArray("kept"));
    const QString big = test::WriteFile(folder, "big.nc", QByteArray(2000, 'G'));
    QVERIFY(LoadNcFile(big, bytes, 1999).failure == NcFileFailure::TooLarge);
    QVERIFY(LoadNcFile(big, bytes, 2000).ok());
    // A sparse file beyond the editor's limit is refused before it is read.
    QFile huge(folder.filePath("huge.nc"));
    QVERIFY(huge.open(QIODevice::WriteOnly));
    QVERIFY(huge.resize(kMaxEditableBytes + 1));
    huge.close();
    QVERIFY(LoadNcFile(huge.fileName(), bytes).failure == NcFileFailure::TooLarge);
}

void RulesTest::loadDoesNotHangOnAFifo() {
    QTemporaryDir folder;
    const QByteArray fifo = QFile::encodeName(folder.filePath("fifo.nc"));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    QByteArray bytes;
    QVERIFY(!LoadNcFile(QFile::decodeName(fifo), bytes).ok());
}

void RulesTest::saveReplacesTheFileWhole() {
    QTemporaryDir folder;
    const QString path = test::WriteFile(folder, "part.nc", "old old old old\r\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    QVERIFY(SaveNcFile(path, "new\r\n").ok());
    QCOMPARE(test::ReadWholeFile(path), QByteArray("new\r\n"));
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0640));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"part.nc"});

    // A link stays a link; the file it leads to gets the text.
    const QString link = folder.filePath("link.nc");
    QVERIFY(QFile::link(path, link));
    QVERIFY(SaveNcFile(link, "linked\r\n").ok());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(test::ReadWholeFile(path), QByteArray("linked\r\n"));
}

void RulesTest::failedSaveLeavesTheOldFile() {
    QTemporaryDir folder;
    const QString path = test::WriteFile(folder, "part.nc", "the operator's program\r\n");
    // A file size limit makes the write fail part way, as a full disk does.
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const FileResult result = SaveNcFile(path, QByteArray(100000, 'X'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    QVERIFY(!result.ok());
    QVERIFY(result.failure == NcFileFailure::TooLarge);
    QCOMPARE(test::ReadWholeFile(path), QByteArray("the operator's program\r\n"));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"part.nc"});

    if (::geteuid() != 0) {
        QVERIFY(QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const FileResult denied = SaveNcFile(path, "new\r\n");
        QFile::setPermissions(folder.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(denied.failure == NcFileFailure::AccessDenied);
        QCOMPARE(test::ReadWholeFile(path), QByteArray("the operator's program\r\n"));
    }
}

void RulesTest::saveWhereTheRenameFailsLeavesNoTemporary() {
    QTemporaryDir folder;
    // A folder of that name: the new file cannot take its place.
    QVERIFY(QDir(folder.path()).mkpath("part.nc/inside"));
    const FileResult result = SaveNcFile(folder.filePath("part.nc"), "G01\r\n");
    QVERIFY(!result.ok());
    QVERIFY(result.systemError != 0);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"part.nc"});
    // No folder at all.
    QVERIFY(SaveNcFile(folder.filePath("missing/part.nc"), "G01").failure == NcFileFailure::NotFound);
}

void RulesTest::highlighterRoles() {
    using Role = NcHighlighter::Role;
    const QString line = QStringLiteral("N10 G01 X-12.5 (cut) M30");
    const std::vector<Role> roles = NcHighlighter::Classify(line);
    QCOMPARE(int(roles.size()), line.size());
    QVERIFY(roles[0] == Role::BlockNumber && roles[2] == Role::BlockNumber);
    QVERIFY(roles[4] == Role::MotionWord && roles[6] == Role::MotionWord);
    QVERIFY(roles[8] == Role::Word && roles[13] == Role::Word);
    QVERIFY(roles[15] == Role::Comment && roles[19] == Role::Comment);
    QVERIFY(roles[21] == Role::MotionWord);
    QVERIFY(NcHighlighter::Classify(QStringLiteral("O0001"))[0] == Role::ProgramNumber);
    // N later in a block is a word, not a block number; an open comment runs to the end.
    QVERIFY(NcHighlighter::Classify(QStringLiteral("G01 N5"))[4] == Role::Word);
    QVERIFY(NcHighlighter::Classify(QStringLiteral("G01 (open"))[8] == Role::Comment);
}

void RulesTest::secondCopyAsksTheFirstToRaise() {
    const QString key = QStringLiteral("quorlin-rules-test-%1").arg(::getpid());
    SingleInstance first(key);
    QVERIFY(first.Listen());
    QSignalSpy raised(&first, &SingleInstance::raiseRequested);
    SingleInstance second(key);
    QVERIFY(second.AskRunningCopyToRaise());
    // Taken means told: the first copy had the request before it answered.
    QTRY_COMPARE(raised.size(), 1);
}

void RulesTest::noRunningCopyAnswers() {
    SingleInstance alone(QStringLiteral("quorlin-rules-test-none-%1").arg(::getpid()));
    QVERIFY(!alone.AskRunningCopyToRaise());
    QVERIFY(alone.Listen());
}

QTEST_MAIN(RulesTest)
#include "RulesTest.moc"
