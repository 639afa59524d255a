// The Convert dialog, driven as a person drives it: typed boxes, dropped
// files, the "..." buttons, Convert and Exit. The files it writes are read
// back from disk and checked as the download checks them.

#include <sys/stat.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "convert/PosixFile.h"
#include "convert/UpdateFile.h"
#include "convert/qt/ConvertDlg.h"
#include "convert/qt/ConvertStrings.h"
#include "convert/qt/CoreText.h"
#include "convert/qt/DropEdit.h"
#include "tests/convert/qt/ConvertUiTestSupport.h"

using namespace quorlin;
using namespace quorlin::test;

namespace {

struct CheckedUpdateFile {
    bool accepted = false;
    UpdateFileHeader header;
    QByteArray payload;
};

// The file as the download sees it: CheckUpdateHeader's verdict, the header
// and the bytes after it.
CheckedUpdateFile CheckUpdateFile(const QString& path) {
    CheckedUpdateFile result;
    PosixFile file = PosixFile::OpenForReading(ToCorePath(path));
    HeaderBytes bytes{};
    result.accepted = CheckUpdateHeader(file, bytes);
    result.header = UpdateFileHeader::FromBytes(bytes);
    result.payload = ReadFile(path).mid(kUpdateHeaderSize);
    return result;
}

QByteArray Repeated(const QByteArray& bytes, int times) {
    QByteArray all;
    for (int i = 0; i < times; ++i) all += bytes;
    return all;
}

}  // namespace

class ConvertDlgTest : public QObject, protected ConverterDialogFixture<CConvertDlg> {
    Q_OBJECT

private:
    CDropEdit* Source1() { return Child<CDropEdit>("source1Edit"); }
    CDropEdit* Source2() { return Child<CDropEdit>("source2Edit"); }
    QLineEdit* Target() { return Child<QLineEdit>("targetDirEdit"); }
    QComboBox* TargetType() { return Child<QComboBox>("targetTypeList"); }
    QLineEdit* Version() { return Child<QLineEdit>("versionEdit"); }
    QLineEdit* Date() { return Child<QLineEdit>("dateEdit"); }
    QPushButton* ConvertButton() { return Child<QPushButton>("convertButton"); }

    QString Path(const QString& name) const { return m_dir->filePath(name); }
    QString MakeSource(const QString& name, const QByteArray& bytes) {
        const QString path = Path(name);
        if (!WriteFile(path, bytes)) qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    QString MakeFolder(const QString& name) {
        QDir(m_dir->path()).mkpath(name);
        return Path(name);
    }

    // Fills the boxes as a person types them and presses Convert.
    void Convert(const QString& source1, const QString& source2, int targetType, const QString& targetDir,
                 const QString& version = {}, const QString& date = {}) {
        Source1()->setText(source1);
        Source2()->setText(source2);
        TargetType()->setCurrentIndex(targetType);
        Target()->setText(targetDir);
        Version()->clear();
        QTest::keyClicks(Version(), version);
        Date()->clear();
        QTest::keyClicks(Date(), date);
        PressConvert();
    }

    // Presses Convert and waits until the messages were shown (at once for
    // small sources).
    void PressConvert() {
        QSignalSpy done(m_dlg.data(), &CConvertDlg::conversionDone);
        QTest::mouseClick(ConvertButton(), Qt::LeftButton);
        if (done.isEmpty()) QVERIFY(done.wait(60000));
    }

    DialogMessage Finished() const { return {kTextConvertFinished, kCaptionPrompt, MessageIcon::Exclamation}; }
    DialogMessage ErrorMessage(const std::string& text) const { return {text, kCaptionError, MessageIcon::Error}; }

private slots:
    void init() { OpenDialog(QRect(100, 80, 900, 700)); }
    void cleanup() { CloseDialog(); }

    void opensModelessAndCentredOnTheMainWindow() {
        QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Convert"));
        QVERIFY(!m_dlg->isModal());
        QCOMPARE(m_dlg->parentWidget(), m_mainWindow);
        const QRect owner = m_mainWindow->frameGeometry();
        const QRect dialog = m_dlg->frameGeometry();
        QCOMPARE(dialog.left() + dialog.width() / 2, owner.left() + owner.width() / 2);
        QCOMPARE(dialog.top() + dialog.height() / 2, owner.top() + owner.height() / 2);
    }

    void showsTheControlsWithTheirTexts() {
        QCOMPARE(Child<QPushButton>("source1Browse")->text(), QStringLiteral("..."));
        QCOMPARE(Child<QPushButton>("source2Browse")->text(), QStringLiteral("..."));
        QCOMPARE(Child<QPushButton>("targetBrowse")->text(), QStringLiteral("..."));
        QCOMPARE(ConvertButton()->text(), QStringLiteral("Convert"));
        QCOMPARE(Child<QPushButton>("exitButton")->text(), QStringLiteral("Exit"));
        QStringList labels;
        for (QLabel* label : m_dlg->findChildren<QLabel*>()) labels << label->text();
        QCOMPARE(labels, (QStringList{"Source", "Target", "Version:", "Date:"}));
        QStringList rows;
        for (int i = 0; i < TargetType()->count(); ++i) rows << TargetType()->itemText(i);
        QCOMPARE(rows, (QStringList{"66G", "57Q", "P70,P80,P90"}));
        QCOMPARE(TargetType()->currentIndex(), 0);
        for (QLineEdit* box :
             {static_cast<QLineEdit*>(Source1()), static_cast<QLineEdit*>(Source2()), Target(), Version(), Date()})
            QVERIFY(box->text().isEmpty());
        QVERIFY(!Child<QProgressBar>("convertProgress")->isVisible());
    }

    void everyControlHasANameAndIsReachedByTab() {
        QApplication::setActiveWindow(m_dlg);
        if (!QTest::qWaitForWindowActive(m_dlg)) QSKIP("no window manager here gives the dialog the focus");
        const QList<QWidget*> controls = FocusableControls(*m_dlg);
        QCOMPARE(controls.size(), 11);  // 5 boxes, the list, 3 "...", Convert and Exit
        const QSet<QWidget*> reached = ReachedByTab(*m_dlg, Source1());
        for (QWidget* control : controls) {
            QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
            QVERIFY2(reached.contains(control), qPrintable(control->objectName()));
        }
    }

    void enterInABoxConvertsAndOpensNoChooser() {
        QSignalSpy done(m_dlg.data(), &CConvertDlg::conversionDone);
        QTest::keyClick(Source2(), Qt::Key_Return);
        QCOMPARE(done.size(), 1);
        QCOMPARE(m_log->Texts(), QStringList{kTextFileTypeError});
        QCOMPARE(m_log->fileQuestions, 0);
        QVERIFY(m_log->folderTitles.isEmpty());
    }

    void versionAndDateStopAtTheirFieldSizesWhileTyping() {
        QTest::keyClicks(Version(), QStringLiteral("V1.234"));
        QCOMPARE(Version()->text(), QStringLiteral("V1.2"));
        QTest::keyClicks(Date(), QStringLiteral("24123199"));
        QCOMPARE(Date()->text(), QStringLiteral("241231"));
        // One byte per character in the header: a character beyond Latin-1 is refused.
        Version()->clear();
        QTest::keyClick(Version(), 'V');
        QTest::sendKeyEvent(QTest::Click, Version(), Qt::Key_unknown, QStringLiteral("\u20AC"), Qt::NoModifier);
        QTest::keyClick(Version(), '1');
        QCOMPARE(Version()->text(), QStringLiteral("V1"));
    }

    void oneFileDroppedOnTheSecondBoxFillsOnlyIt() {
        const QString file = MakeSource(QStringLiteral("one.dat"), "d");
        Source1()->setText(QStringLiteral("kept.bin"));
        DropUrls(Source2(), FileUrls({file}));
        QCOMPARE(Source2()->text(), file);
        QCOMPARE(Source1()->text(), QStringLiteral("kept.bin"));
        QCOMPARE(m_dlg->RequestFromControls().source2, ToCorePath(file));
        QVERIFY(m_log->messages.empty());
    }

    void twoFilesDroppedOnEitherBoxFillBoxOneThenBoxTwo_data() {
        QTest::addColumn<int>("box");
        QTest::newRow("first box") << 1;
        QTest::newRow("second box") << 2;
    }
    void twoFilesDroppedOnEitherBoxFillBoxOneThenBoxTwo() {
        QFETCH(int, box);
        const QString a = MakeSource(QStringLiteral("a.bin"), "a");
        const QString b = MakeSource(QStringLiteral("b.dat"), "b");
        const QString c = MakeSource(QStringLiteral("c.bmp"), "c");
        DropUrls(box == 1 ? Source1() : Source2(), FileUrls({a, b}));
        QCOMPARE(Source1()->text(), a);
        QCOMPARE(Source2()->text(), b);
        // A third file of the same drop goes nowhere.
        Source1()->clear();
        Source2()->clear();
        DropUrls(box == 1 ? Source1() : Source2(), FileUrls({b, a, c}));
        QCOMPARE(Source1()->text(), b);
        QCOMPARE(Source2()->text(), a);
        QVERIFY(m_log->messages.empty());
    }

    void aDroppedFolderOrWebAddressIsRefusedWithAReason() {
        const QString folder = MakeFolder(QStringLiteral("images.bin"));
        Source1()->setText(QStringLiteral("kept.bin"));
        DropUrls(Source1(), FileUrls({folder}));
        DropUrls(Source1(), {QUrl(QStringLiteral("https://example.com/app.bin"))});
        QCOMPARE(Source1()->text(), QStringLiteral("kept.bin"));
        QCOMPARE(m_log->messages.size(), 2u);
        QVERIFY(QString::fromStdString(m_log->messages[0].text).contains(folder));
        QVERIFY(
            QString::fromStdString(m_log->messages[1].text).contains(QStringLiteral("https://example.com/app.bin")));
        for (const DialogMessage& message : m_log->messages) {
            QCOMPARE(message.caption, std::string(kCaptionError));
            QCOMPARE(message.icon, MessageIcon::Error);
        }
    }

    void sourceButtonsFillTheirBoxAndCancelKeepsIt() {
        Source2()->setText(QStringLiteral("typed.dat"));
        m_log->fileAnswers = {QStringLiteral("/chosen/app.bin"), QString()};
        QTest::mouseClick(Child<QPushButton>("source1Browse"), Qt::LeftButton);
        QCOMPARE(Source1()->text(), QStringLiteral("/chosen/app.bin"));
        QCOMPARE(Source2()->text(), QStringLiteral("typed.dat"));
        QTest::mouseClick(Child<QPushButton>("source2Browse"), Qt::LeftButton);
        QCOMPARE(Source2()->text(), QStringLiteral("typed.dat"));
        QCOMPARE(m_log->fileQuestions, 2);
    }

    void targetButtonOpensTheFolderChooserAtTheTypedFolder() {
        Target()->setText(QStringLiteral("/start/here"));
        m_log->folderAnswers = {QString(), QStringLiteral("/chosen")};
        QTest::mouseClick(Child<QPushButton>("targetBrowse"), Qt::LeftButton);
        QCOMPARE(Target()->text(), QStringLiteral("/start/here"));
        QTest::mouseClick(Child<QPushButton>("targetBrowse"), Qt::LeftButton);
        QCOMPARE(Target()->text(), QStringLiteral("/chosen"));
        QCOMPARE(m_log->folderTitles, (QStringList{"Select the folder:", "Select the folder:"}));
        QCOMPARE(m_log->folderStarts.first(), QStringLiteral("/start/here"));
    }

    void aBinAloneForP70GivesQzsysWithTheWholeSource() {
        const QByteArray bytes = Pattern(5000);
        const QString source = MakeSource(QStringLiteral("app.BIN"), bytes);
        Convert(source, {}, 2, m_dir->path());
        QCOMPARE(m_log->messages, (std::vector<DialogMessage>{Finished()}));
        const CheckedUpdateFile file = CheckUpdateFile(Path(QStringLiteral("QZSYS")));
        QVERIFY(file.accepted);
        QCOMPARE(file.header.contentFlags, std::uint8_t{2});
        QCOMPARE(file.header.payloadLength, 5000u);
        QCOMPARE(file.payload, bytes);
    }

    void theDatSourceComesFirstForP70_data() {
        QTest::addColumn<bool>("withBin");
        QTest::newRow("dat in box 2, bin in box 1") << true;
        QTest::newRow("dat alone in box 2") << false;
    }
    void theDatSourceComesFirstForP70() {
        QFETCH(bool, withBin);
        const QByteArray bin = Pattern(3000, 2);
        const QByteArray dat = Pattern(1500, 3);
        const QString binPath = withBin ? MakeSource(QStringLiteral("sys.bin"), bin) : QString();
        Convert(binPath, MakeSource(QStringLiteral("data.dat"), dat), 2, m_dir->path());
        QCOMPARE(m_log->Texts(), QStringList{kTextConvertFinished});
        const CheckedUpdateFile file = CheckUpdateFile(Path(QStringLiteral("QZSYS")));
        QVERIFY(file.accepted);
        QCOMPARE(file.payload, withBin ? dat + bin : dat);
        QCOMPARE(file.header.contentFlags, std::uint8_t(withBin ? 3 : 1));
    }

    void picturesAndFontsForP70AreNamedByTheirKind_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("flags");
        QTest::newRow("bmp") << "logo.bmp"
                             << "USERPIC" << 4;
        QTest::newRow("font") << "HZK16"
                              << "HZK16" << 8;
    }
    void picturesAndFontsForP70AreNamedByTheirKind() {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(int, flags);
        const QString out = MakeFolder(QStringLiteral("out"));
        const QByteArray bytes = Pattern(2048, 4);
        Convert(MakeSource(source, bytes), {}, 2, out);
        QCOMPARE(m_log->Texts(), QStringList{kTextConvertFinished});
        const CheckedUpdateFile file = CheckUpdateFile(QDir(out).filePath(target));
        QVERIFY(file.accepted);
        QCOMPARE(int(file.header.contentFlags), flags);
        QCOMPARE(file.payload, bytes);
    }

    void type57QLeavesOutTheFirst64KiB() {
        const QByteArray bytes = Pattern(200000, 5);
        Convert(MakeSource(QStringLiteral("app.bin"), bytes), {}, 1, m_dir->path());
        QCOMPARE(m_log->Texts(), QStringList{kTextConvertFinished});
        const CheckedUpdateFile file = CheckUpdateFile(Path(QStringLiteral("SYS")));
        QVERIFY(file.accepted);
        QCOMPARE(file.header.payloadLength, 134464u);
        QCOMPARE(file.payload, bytes.mid(65536));
    }

    void type66GAlsoWritesTheRomImage() {
        const QByteArray bytes = Pattern(131072, 6);
        Convert(MakeSource(QStringLiteral("app.bin"), bytes), {}, 0, m_dir->path());
        QCOMPARE(m_log->Texts(), QStringList{kTextConvertFinished});
        QCOMPARE(QFileInfo(Path(QStringLiteral("SYS"))).size(), 22 + 131072);
        QVERIFY(CheckUpdateFile(Path(QStringLiteral("SYS"))).accepted);
        QCOMPARE(ReadFile(Path(QStringLiteral("66G.dat"))), Repeated(bytes, 4));
    }

    void versionAndDateAreStoredAsTyped() {
        Convert(MakeSource(QStringLiteral("app.bin"), "abc"), {}, 2, m_dir->path(), QStringLiteral("V1"),
                QStringLiteral("240131"));
        const CheckedUpdateFile file = CheckUpdateFile(Path(QStringLiteral("QZSYS")));
        QVERIFY(file.accepted);
        QCOMPARE(file.header.version[0], std::uint8_t('V'));
        QCOMPARE(file.header.version[1], std::uint8_t('1'));
        QCOMPARE(file.header.version[2], std::uint8_t(0));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(file.header.date.data()), 6), QByteArray("240131"));
        QCOMPARE(file.header.checksum, 294u);
    }

    void aSourceOfAnotherKindBesideABinIsIgnored() {
        const QByteArray bytes = Pattern(777, 7);
        Convert(MakeSource(QStringLiteral("readme.txt"), "text"), MakeSource(QStringLiteral("app.bin"), bytes), 2,
                m_dir->path());
        QCOMPARE(m_log->Texts(), QStringList{kTextConvertFinished});
        const CheckedUpdateFile file = CheckUpdateFile(Path(QStringLiteral("QZSYS")));
        QCOMPARE(file.header.contentFlags, std::uint8_t{2});
        QCOMPARE(file.payload, bytes);
    }

    void theTargetFolderWithOrWithoutASeparatorGivesOnePath_data() {
        QTest::addColumn<bool>("withSeparator");
        QTest::newRow("without") << false;
        QTest::newRow("with") << true;
    }
    void theTargetFolderWithOrWithoutASeparatorGivesOnePath() {
        QFETCH(bool, withSeparator);
        const QString out = MakeFolder(QStringLiteral("out"));
        Convert(MakeSource(QStringLiteral("app.bin"), "x"), {}, 1 - 1, out + (withSeparator ? "/" : ""));
        QVERIFY(QFileInfo::exists(QDir(out).filePath(QStringLiteral("SYS"))));
        QVERIFY(QFileInfo::exists(QDir(out).filePath(QStringLiteral("66G.dat"))));
    }

    void sourcesOfNoOrOneKindAreRefusedBeforeAnythingIsWritten_data() {
        QTest::addColumn<QString>("source1");
        QTest::addColumn<QString>("source2");
        QTest::addColumn<QString>("message");
        QTest::newRow("both empty") << ""
                                    << "" << kTextFileTypeError;
        QTest::newRow("both text") << "a.txt"
                                   << "b.doc" << kTextFileTypeError;
        QTest::newRow("two bins") << "a.bin"
                                  << "b.BIN" << kTextSameFileType;
        QTest::newRow("dot in folder") << ""
                                       << "/a.b/HZK16" << kTextFileTypeError;
    }
    void sourcesOfNoOrOneKindAreRefusedBeforeAnythingIsWritten() {
        QFETCH(QString, source1);
        QFETCH(QString, source2);
        QFETCH(QString, message);
        Convert(source1, source2, 2, m_dir->path());
        QCOMPARE(m_log->messages, (std::vector<DialogMessage>{ErrorMessage(message.toStdString())}));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{});
    }

    void aSourceThatVanishedIsReportedAndNothingIsWritten() {
        const QString source = MakeSource(QStringLiteral("gone.bin"), "x");
        const QString out = MakeFolder(QStringLiteral("out"));
        Source1()->setText(source);
        QVERIFY(QFile::remove(source));
        Convert(source, {}, 0, out);
        QCOMPARE(m_log->messages, (std::vector<DialogMessage>{ErrorMessage(ToCorePath(source) + " was not found.")}));
        QCOMPARE(QDir(out).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{});
    }

    void aTargetFolderThatIsAFileIsReportedAndNotFinished() {
        const QByteArray bytes = Pattern(100);
        const QString source = MakeSource(QStringLiteral("app.bin"), bytes);
        const QString notAFolder = MakeSource(QStringLiteral("plain"), "file");
        Convert(source, {}, 0, notAFolder);
        // The update file and the ROM image both fail; no completion.
        QCOMPARE(m_log->messages, (std::vector<DialogMessage>{ErrorMessage(kTextCannotCreateTarget),
                                                              ErrorMessage(kTextCannotCreateTarget)}));
        QCOMPARE(ReadFile(source), bytes);
        QCOMPARE(ReadFile(notAFolder), QByteArray("file"));
    }

    void aReadOnlyTargetFolderIsReportedAndNotFinished() {
        const QString out = MakeFolder(QStringLiteral("locked"));
        QVERIFY(QFile::setPermissions(out, QFile::ReadOwner | QFile::ExeOwner));
        const bool writable = WriteFile(QDir(out).filePath(QStringLiteral("probe")), "p");
        if (writable) {
            QFile::remove(QDir(out).filePath(QStringLiteral("probe")));
            QSKIP("this user may write into a read-only folder (root)");
        }
        Convert(MakeSource(QStringLiteral("app.bin"), "x"), {}, 2, out);
        QCOMPARE(m_log->messages, (std::vector<DialogMessage>{ErrorMessage(kTextCannotCreateTarget)}));
        QFile::setPermissions(out, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void aFullDiskIsReportedAndNotFinished() {
        const QByteArray bytes = Pattern(200000);
        const QString source = MakeSource(QStringLiteral("app.bin"), bytes);
        {
            DiskFullAfter full(64 * 1024);
            Convert(source, {}, 2, m_dir->path());
        }
        QCOMPARE(m_log->messages.size(), 1u);
        QCOMPARE(m_log->messages[0].icon, MessageIcon::Error);
        QCOMPARE(QString::fromStdString(m_log->messages[0].text),
                 QStringLiteral("Disk full while accessing ") + Path(QStringLiteral("QZSYS")) + '.');
        QCOMPARE(ReadFile(source), bytes);
    }

    void aConversionNeverOverwritesItsSource() {
        // The font file "SYS" would be the target of type 0 in its own folder.
        const QByteArray bytes = Pattern(4096, 8);
        const QString source = MakeSource(QStringLiteral("SYS"), bytes);
        Convert(source, {}, 0, m_dir->path());
        QCOMPARE(m_log->messages.size(), 1u);
        QCOMPARE(m_log->messages[0].icon, MessageIcon::Error);
        QVERIFY(QString::fromStdString(m_log->messages[0].text).contains(source));
        QCOMPARE(ReadFile(source), bytes);
        QVERIFY(!QFileInfo::exists(Path(QStringLiteral("66G.dat"))));
    }

    void namesWithSpacesAndNonAsciiLettersConvert() {
        const QString out = MakeFolder(QStringLiteral("Zielordner für Ü"));
        const QByteArray bytes = Pattern(3333, 9);
        const QString source = MakeSource(QStringLiteral("Prüf datei 程序.bin"), bytes);
        Convert(source, {}, 2, out);
        QCOMPARE(m_log->Texts(), QStringList{kTextConvertFinished});
        const CheckedUpdateFile file = CheckUpdateFile(QDir(out).filePath(QStringLiteral("QZSYS")));
        QVERIFY(file.accepted);
        QCOMPARE(file.payload, bytes);
        // And a failure quotes such a name readably.
        QVERIFY(QFile::remove(source));
        Convert(source, {}, 2, out);
        QCOMPARE(m_log->Texts().last(), source + QStringLiteral(" was not found."));
    }

    void aLargeSourceIsConvertedWithoutFreezingTheWindow() {
        // Well past the background threshold; sparse, so it costs no disk to make.
        const qint64 size = 8 * ConversionJob::kBackgroundWorkBytes;
        const QString source = Path(QStringLiteral("big.bin"));
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(size));
        }
        QSignalSpy done(m_dlg.data(), &CConvertDlg::conversionDone);
        // The longest time the GUI thread went without handling an event.
        QElapsedTimer sinceTick;
        qint64 longestPauseMs = 0;
        QTimer ticker;
        ticker.setInterval(1);
        connect(&ticker, &QTimer::timeout, this,
                [&] { longestPauseMs = std::max(longestPauseMs, sinceTick.restart()); });
        Source1()->setText(source);
        Target()->setText(m_dir->path());
        ConvertButton()->setFocus();
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(ConvertButton(), Qt::LeftButton);
        const qint64 handlerMs = clock.elapsed();
        sinceTick.start();
        ticker.start();
        // The button's handler has returned; the conversion goes on behind a
        // disabled dialog that will not close.
        QVERIFY(m_dlg->IsConverting());
        QVERIFY(!ConvertButton()->isEnabled());
        QVERIFY(!Source1()->isEnabled());
        QVERIFY(Child<QProgressBar>("convertProgress")->isVisible());
        QVERIFY(!m_dlg->close());
        QTest::keyClick(m_dlg, Qt::Key_Escape);
        QVERIFY(m_dlg->isVisible());
        QVERIFY(done.wait(60000));
        const qint64 totalMs = clock.elapsed();
        ticker.stop();
        qInfo("Convert of %lld bytes: handler returned after %lld ms, conversion ended after %lld ms, "
              "longest pause of the GUI thread meanwhile %lld ms",
              size, handlerMs, totalMs, longestPauseMs);
        QCOMPARE(done.first().first().toBool(), true);
        QCOMPARE(m_log->Texts(), QStringList{kTextConvertFinished});
        QVERIFY(ConvertButton()->isEnabled());
        QVERIFY(!Child<QProgressBar>("convertProgress")->isVisible());
        QCOMPARE(m_dlg->focusWidget(), ConvertButton());
        QCOMPARE(QFileInfo(Path(QStringLiteral("SYS"))).size(), 22 + size);
        QCOMPARE(QFileInfo(Path(QStringLiteral("66G.dat"))).size(), size);
        // Generous bounds: a loaded machine must not make this flaky.
        QVERIFY(handlerMs < 1000);
        QVERIFY(longestPauseMs < 1000);
        // Closing works again.
        QVERIFY(m_dlg->close());
        QTRY_VERIFY(m_dlg.isNull());
    }

    void theMainWindowClosingDuringABackgroundConversionLeavesWholeOutputs() {
        const qint64 size = 2 * ConversionJob::kBackgroundWorkBytes;
        const QString source = Path(QStringLiteral("big.dat"));
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(size));
        }
        Source1()->setText(source);
        Target()->setText(m_dir->path());
        TargetType()->setCurrentIndex(2);
        QTest::mouseClick(ConvertButton(), Qt::LeftButton);
        QVERIFY(m_dlg->IsConverting());
        // The application ends: the dialog goes with its owner, after the
        // conversion has written everything.
        delete m_mainWindow;
        m_mainWindow = nullptr;
        QVERIFY(m_dlg.isNull());
        const CheckedUpdateFile file = CheckUpdateFile(Path(QStringLiteral("QZSYS")));
        QVERIFY(file.accepted);
        QCOMPARE(file.header.payloadLength, static_cast<quint32>(size));
    }

    void exitEscapeAndTheCloseButtonEachCloseAndDelete_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("Exit") << 0;
        QTest::newRow("Escape") << 1;
        QTest::newRow("close button") << 2;
    }
    void exitEscapeAndTheCloseButtonEachCloseAndDelete() {
        QFETCH(int, way);
        if (way == 0) QTest::mouseClick(Child<QPushButton>("exitButton"), Qt::LeftButton);
        if (way == 1) QTest::keyClick(Version(), Qt::Key_Escape);
        if (way == 2) QVERIFY(m_dlg->close());
        QTRY_VERIFY(m_dlg.isNull());
    }

    void severalDialogsWorkSideBySide() {
        auto* second = new CConvertDlg(m_mainWindow);
        auto secondLog = std::make_shared<PromptLog>();
        second->SetPrompts(std::make_unique<RecordingPrompts>(secondLog));
        second->show();
        QVERIFY(QTest::qWaitForWindowExposed(second));
        auto* secondTarget = second->findChild<QLineEdit*>(QStringLiteral("targetDirEdit"));
        secondTarget->setText(QStringLiteral("elsewhere"));
        QVERIFY(Target()->text().isEmpty());
        Convert(MakeSource(QStringLiteral("app.bin"), "x"), {}, 2, m_dir->path());
        QCOMPARE(m_log->Texts(), QStringList{kTextConvertFinished});
        QVERIFY(secondLog->messages.empty());
    }

    void theNextDialogStartsWithTheLastTargetVersionDateAndSourceFolder() {
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("sources")));
        const QString source = MakeSource(QStringLiteral("sources/app.bin"), "x");
        m_log->fileAnswers = {source};
        QTest::mouseClick(Child<QPushButton>("source1Browse"), Qt::LeftButton);
        QCOMPARE(m_log->fileStarts, QStringList{QString()});
        Convert(Source1()->text(), {}, 2, m_dir->path(), QStringLiteral("V2.1"), QStringLiteral("240131"));
        QCOMPARE(m_log->Texts(), QStringList{kTextConvertFinished});
        Version()->setText(QStringLiteral("V9"));  // typed after the conversion: not kept

        auto* next = new CConvertDlg(m_mainWindow);
        auto nextLog = std::make_shared<PromptLog>();
        next->SetPrompts(std::make_unique<RecordingPrompts>(nextLog));
        auto box = [next](const char* name) { return next->findChild<QLineEdit*>(QLatin1String(name))->text(); };
        QCOMPARE(box("targetDirEdit"), m_dir->path());
        QCOMPARE(box("versionEdit"), QStringLiteral("V2.1"));
        QCOMPARE(box("dateEdit"), QStringLiteral("240131"));
        QCOMPARE(next->findChild<QComboBox*>(QStringLiteral("targetTypeList"))->currentIndex(), 2);
        QVERIFY(box("source1Edit").isEmpty());
        QTest::mouseClick(next->findChild<QPushButton*>(QStringLiteral("source2Browse")), Qt::LeftButton);
        QCOMPARE(nextLog->fileStarts, QStringList{m_dir->filePath(QStringLiteral("sources"))});
        next->close();
    }

    void screenshot() {
        Source1()->setText(QStringLiteral("/media/service/P80 update/app.bin"));
        Source2()->setText(QStringLiteral("/media/service/P80 update/data.dat"));
        Target()->setText(QStringLiteral("/media/service/P80 update/out"));
        TargetType()->setCurrentIndex(2);
        QTest::keyClicks(Version(), QStringLiteral("V2.1"));
        QTest::keyClicks(Date(), QStringLiteral("240131"));
        SaveScreenshot(*m_dlg, QStringLiteral("convert-dialog"));
    }
};

QTEST_MAIN(ConvertDlgTest)
#include "ConvertDlgTest.moc"
