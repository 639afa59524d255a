// The Batch convert dialog, driven as a person drives it: the file type, the
// folder, the work list with its Delete key and tags, and Convert. Outputs
// are read back from disk.

#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

#include "convert/PosixFile.h"
#include "convert/UpdateFile.h"
#include "convert/qt/BatchConvertDlg.h"
#include "convert/qt/CoreText.h"
#include "convert/qt/MediaFolder.h"
#include "tests/convert/qt/ConvertUiTestSupport.h"

using namespace quorlin;
using namespace quorlin::test;

namespace {

constexpr qint64 kRomFill = 524288;

bool IsUpdateFileOf(const QString& path, const QByteArray& source) {
    PosixFile file = PosixFile::OpenForReading(ToCorePath(path));
    HeaderBytes header{};
    if (!CheckUpdateHeader(file, header)) return false;
    const QByteArray all = ReadFile(path);
    // The plain header: magic, no flags, version or date.
    for (std::size_t i = UpdateFileHeader::kContentFlagsOffset; i < UpdateFileHeader::kChecksumOffset; ++i)
        if (header[i] != 0) return false;
    return all.mid(kUpdateHeaderSize) == source &&
           UpdateFileHeader::FromBytes(header).payloadLength == static_cast<quint32>(source.size());
}

}  // namespace

class BatchConvertDlgTest : public QObject, protected ConverterDialogFixture<CBatchConvertDlg> {
    Q_OBJECT

private:
    QTableWidget* List() { return Child<QTableWidget>("fileList"); }
    QListWidget* Tags() { return Child<QListWidget>("tagList"); }
    QLineEdit* Folder() { return Child<QLineEdit>("folderEdit"); }

    QString Path(const QString& name) const { return m_dir->filePath(name); }
    QString Folder(const QString& name) const { return QDir(m_dir->path()).filePath(name); }
    QString Out(const QString& name) const { return Path(QStringLiteral("Bin_Dst/") + name); }
    void MakeSource(const QString& name, const QByteArray& bytes) {
        if (!WriteFile(Path(name), bytes)) qFatal("cannot write %s", qPrintable(name));
    }

    // Chooses the test's folder through the "..." button.
    void ChooseFolder(const QString& folder) {
        m_log->folderAnswers << folder;
        QTest::mouseClick(Child<QPushButton>("folderBrowse"), Qt::LeftButton);
    }

    QStringList Column(int column) {
        QStringList texts;
        for (int row = 0; row < List()->rowCount(); ++row) texts << List()->item(row, column)->text();
        return texts;
    }
    int RowOf(const QString& source) { return static_cast<int>(Column(0).indexOf(source)); }
    void ClickRow(int row) {
        const QRect cell = List()->visualItemRect(List()->item(row, 0));
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    }
    void ClickTag(const QString& tag) {
        QListWidgetItem* item = Tags()->findItems(tag, Qt::MatchExactly).constFirst();
        QTest::mouseClick(Tags()->viewport(), Qt::LeftButton, Qt::NoModifier, Tags()->visualItemRect(item).center());
    }
    // Presses Convert and waits until the messages were shown (at once for
    // small batches).
    void PressConvert() {
        QSignalSpy done(m_dlg.data(), &CBatchConvertDlg::conversionDone);
        QTest::mouseClick(Child<QPushButton>("convertButton"), Qt::LeftButton);
        if (done.isEmpty()) QVERIFY(done.wait(60000));
    }

    static DialogMessage Finished() { return {kTextConvertFinished, kCaptionPrompt, MessageIcon::Exclamation}; }

private slots:
    void init() { OpenDialog(QRect(60, 40, 1000, 760)); }
    void cleanup() { CloseDialog(); }

    void opensEmptyCentredAndWithItsListsSetUp() {
        QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Batch convert"));
        QVERIFY(!m_dlg->isModal());
        const QRect owner = m_mainWindow->frameGeometry();
        const QRect dialog = m_dlg->frameGeometry();
        QCOMPARE(dialog.left() + dialog.width() / 2, owner.left() + owner.width() / 2);
        QCOMPARE(dialog.top() + dialog.height() / 2, owner.top() + owner.height() / 2);

        QVERIFY(Child<QRadioButton>("binRadio")->isChecked());
        QCOMPARE(Child<QRadioButton>("datRadio")->text(), QStringLiteral(".dat"));
        QVERIFY(Folder()->isReadOnly());
        QVERIFY(Folder()->text().isEmpty());
        QCOMPARE(Child<QPushButton>("defaultButton")->text(), QStringLiteral("Default"));
        QCOMPARE(Child<QPushButton>("cancelButton")->text(), QStringLiteral("Cancel"));
        QStringList labels;
        for (QLabel* label : m_dlg->findChildren<QLabel*>()) labels << label->text();
        QCOMPARE(labels, (QStringList{"File type:", "destination:"}));

        QCOMPARE(List()->rowCount(), 0);
        QCOMPARE(List()->columnCount(), 3);
        const int widths[] = {100, 100, 92};
        const char* titles[] = {"Source file", "Dst. ROM file", "Dst update file"};
        for (int column = 0; column < 3; ++column) {
            QCOMPARE(List()->horizontalHeaderItem(column)->text(), QString::fromLatin1(titles[column]));
            QCOMPARE(List()->columnWidth(column), widths[column]);
        }
        QVERIFY(List()->horizontalHeader()->defaultAlignment() & Qt::AlignHCenter);
        QVERIFY(List()->showGrid());
        QCOMPARE(List()->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(List()->selectionMode(), QAbstractItemView::SingleSelection);
        // The selection is drawn the same with and without focus.
        const QPalette palette = List()->palette();
        QCOMPARE(palette.color(QPalette::Inactive, QPalette::Highlight),
                 palette.color(QPalette::Active, QPalette::Highlight));

        QStringList tags;
        for (int row = 0; row < Tags()->count(); ++row) tags << Tags()->item(row)->text();
        QCOMPARE(tags, (QStringList{"QVA", "QV2", "SYS", "DTA", "UDA", "UDB", "UDC", "UDD", "UDE"}));
        QVERIFY(Tags()->sizeHintForRow(0) >= 16);
        QVERIFY(Tags()->visualItemRect(Tags()->item(0)).width() > 0);
    }

    void everyControlHasANameAndIsReachedByKeyboard() {
        QApplication::setActiveWindow(m_dlg);
        if (!QTest::qWaitForWindowActive(m_dlg)) QSKIP("no window manager here gives the dialog the focus");
        const QList<QWidget*> controls = FocusableControls(*m_dlg);
        QCOMPARE(controls.size(), 9);  // 2 radios, folder, "...", Default, 2 lists, Convert, Cancel
        const QSet<QWidget*> reached = ReachedByTab(*m_dlg, Child<QRadioButton>("binRadio"));
        for (QWidget* control : controls) {
            QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
            // Tab enters a radio group at its checked button; the arrow keys move within.
            if (control->objectName() == QStringLiteral("datRadio")) continue;
            QVERIFY2(reached.contains(control), qPrintable(control->objectName()));
        }
        Child<QRadioButton>("binRadio")->setFocus();
        QTest::keyClick(Child<QRadioButton>("binRadio"), Qt::Key_Right);
        QVERIFY(Child<QRadioButton>("datRadio")->hasFocus());
        QVERIFY(Child<QRadioButton>("datRadio")->isChecked());
    }

    void theListHoldsEveryMatchOfTheFolder() {
        MakeSource(QStringLiteral("ABC.bin"), "a");
        MakeSource(QStringLiteral("lower.BIN"), "b");
        MakeSource(QStringLiteral("two.dots.bin"), "c");
        MakeSource(QStringLiteral("other.dat"), "d");
        QDir(m_dir->path()).mkdir(QStringLiteral("folder.bin"));  // listed too: matches are not filtered
        ChooseFolder(m_dir->path());
        QCOMPARE(m_log->folderTitles, QStringList{"Select the folder:"});
        QCOMPARE(Folder()->text(), m_dir->path() + QDir::separator());
        QStringList sources = Column(0);
        std::sort(sources.begin(), sources.end());
        QCOMPARE(sources, (QStringList{"ABC.bin", "folder.bin", "lower.BIN", "two.dots.bin"}));
        for (int row = 0; row < List()->rowCount(); ++row) {
            const QString source = List()->item(row, 0)->text();
            QCOMPARE(List()->item(row, 1)->text(), source.left(source.lastIndexOf('.')) + QStringLiteral(".rom"));
            QVERIFY(List()->item(row, 2)->text().isEmpty());
            QVERIFY(List()->item(row, 0)->textAlignment() & Qt::AlignHCenter);
        }
        // The folder chooser starts at the folder and Cancel keeps everything.
        ChooseFolder(QString());
        QCOMPARE(m_log->folderStarts.last(), m_dir->path() + QDir::separator());
        QCOMPARE(List()->rowCount(), 4);
    }

    void theNextDialogOpensWithTheLastChosenFolderListed() {
        MakeSource(QStringLiteral("ABC.bin"), "a");
        ChooseFolder(m_dir->path());
        auto* next = new CBatchConvertDlg(m_mainWindow);
        auto nextLog = std::make_shared<PromptLog>();
        next->SetPrompts(std::make_unique<RecordingPrompts>(nextLog));
        QCOMPARE(next->findChild<QLineEdit*>(QStringLiteral("folderEdit"))->text(), m_dir->path() + QDir::separator());
        QCOMPARE(next->RowsFromList().size(), size_t(1));
        nextLog->folderAnswers << QString();
        QTest::mouseClick(next->findChild<QPushButton*>(QStringLiteral("folderBrowse")), Qt::LeftButton);
        QCOMPARE(nextLog->folderStarts, QStringList{m_dir->path() + QDir::separator()});
        next->close();
        // "Default" is not a choice to remember.
        QTest::mouseClick(Child<QPushButton>("defaultButton"), Qt::LeftButton);
        auto* third = new CBatchConvertDlg(m_mainWindow);
        QCOMPARE(third->findChild<QLineEdit*>(QStringLiteral("folderEdit"))->text(), m_dir->path() + QDir::separator());
        third->close();
    }

    void tagsGoToTheSelectedRowOnly() {
        for (const char* name : {"a.bin", "b.bin", "c.bin"}) MakeSource(QString::fromLatin1(name), "x");
        ChooseFolder(m_dir->path());
        // No row selected: nothing changes.
        ClickTag(QStringLiteral("QVA"));
        QCOMPARE(Column(2), (QStringList{"", "", ""}));
        ClickRow(RowOf(QStringLiteral("a.bin")));
        ClickTag(QStringLiteral("SYS"));
        ClickRow(RowOf(QStringLiteral("c.bin")));
        ClickTag(QStringLiteral("SYS"));  // the tag already chosen, given to a second row
        QCOMPARE(List()->item(RowOf(QStringLiteral("a.bin")), 2)->text(), QStringLiteral("SYS"));
        QCOMPARE(List()->item(RowOf(QStringLiteral("b.bin")), 2)->text(), QString());
        QCOMPARE(List()->item(RowOf(QStringLiteral("c.bin")), 2)->text(), QStringLiteral("SYS"));
        // The keyboard chooses a tag too.
        Tags()->setFocus();
        QTest::keyClick(Tags(), Qt::Key_Down);
        QCOMPARE(List()->item(RowOf(QStringLiteral("c.bin")), 2)->text(), QStringLiteral("DTA"));
        // Tabbing into the tag list does not assign one by itself.
        ClickRow(RowOf(QStringLiteral("b.bin")));
        List()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(List(), Qt::Key_Tab);
        QCOMPARE(List()->item(RowOf(QStringLiteral("b.bin")), 2)->text(), QString());
    }

    void deleteRemovesTheSelectedRow() {
        for (const char* name : {"a.bin", "b.bin"}) MakeSource(QString::fromLatin1(name), "x");
        ChooseFolder(m_dir->path());
        List()->setFocus();
        List()->clearSelection();
        QTest::keyClick(List(), Qt::Key_Delete);
        QCOMPARE(List()->rowCount(), 2);
        ClickRow(RowOf(QStringLiteral("b.bin")));
        QTest::keyClick(List(), Qt::Key_Delete);
        QCOMPARE(Column(0), QStringList{"a.bin"});
    }

    void switchingTheTypeRebuildsTheListAndDropsTheTags() {
        MakeSource(QStringLiteral("a.bin"), "x");
        MakeSource(QStringLiteral("d.dat"), "y");
        ChooseFolder(m_dir->path());
        ClickRow(0);
        ClickTag(QStringLiteral("UDA"));
        QTest::mouseClick(Child<QRadioButton>("datRadio"), Qt::LeftButton);
        QCOMPARE(Column(0), QStringList{"d.dat"});
        QCOMPARE(Column(2), QStringList{""});
        QTest::mouseClick(Child<QRadioButton>("binRadio"), Qt::LeftButton);
        QCOMPARE(Column(0), QStringList{"a.bin"});
        QCOMPARE(Column(2), QStringList{""});
        QCOMPARE(m_dlg->FileType(), BatchFileType::Bin);
    }

    void convertWritesRomImagesAndTaggedUpdateFilesInListOrder() {
        const QByteArray abc = Pattern(200000, 1);
        const QByteArray exact = Pattern(131072, 2);
        const QByteArray big = Pattern(600000, 3);
        MakeSource(QStringLiteral("ABC.bin"), abc);
        MakeSource(QStringLiteral("exact.bin"), exact);
        MakeSource(QStringLiteral("big.bin"), big);
        ChooseFolder(m_dir->path());
        ClickRow(RowOf(QStringLiteral("ABC.bin")));
        ClickTag(QStringLiteral("SYS"));
        ClickRow(RowOf(QStringLiteral("exact.bin")));
        ClickTag(QStringLiteral("QVA"));
        ClickRow(RowOf(QStringLiteral("big.bin")));
        ClickTag(QStringLiteral("QVA"));  // the later row's file replaces the earlier one's
        const std::vector<BatchRow> rows = m_dlg->RowsFromList();
        PressConvert();
        QCOMPARE(m_log->messages, std::vector<DialogMessage>{Finished()});
        QCOMPARE(ReadFile(Out(QStringLiteral("ABC.rom"))), abc + abc + abc);
        QCOMPARE(QFileInfo(Out(QStringLiteral("exact.rom"))).size(), kRomFill);
        QCOMPARE(ReadFile(Out(QStringLiteral("big.rom"))), big);
        QVERIFY(IsUpdateFileOf(Out(QStringLiteral("SYS")), abc));
        const bool bigLast = RowOf(QStringLiteral("big.bin")) > RowOf(QStringLiteral("exact.bin"));
        QVERIFY(IsUpdateFileOf(Out(QStringLiteral("QVA")), bigLast ? big : exact));
        QCOMPARE(QDir(Path(QStringLiteral("Bin_Dst"))).entryList(QDir::Files).size(), 5);
    }

    void anEmptyListStillCreatesTheFolderAndFinishes() {
        MakeSource(QStringLiteral("a.bin"), "x");
        ChooseFolder(m_dir->path());
        ClickRow(0);
        QTest::keyClick(List(), Qt::Key_Delete);
        QCOMPARE(List()->rowCount(), 0);
        PressConvert();
        QCOMPARE(m_log->messages, std::vector<DialogMessage>{Finished()});
        QVERIFY(QFileInfo(Path(QStringLiteral("Bin_Dst"))).isDir());
        QVERIFY(QDir(Path(QStringLiteral("Bin_Dst"))).isEmpty());
    }

    void aSourceThatVanishedStopsTheBatchWithItsFileError() {
        MakeSource(QStringLiteral("a.bin"), "x");
        MakeSource(QStringLiteral("b.bin"), "y");
        ChooseFolder(m_dir->path());
        const QString first = List()->item(0, 0)->text();
        const QString second = List()->item(1, 0)->text();
        QVERIFY(QFile::remove(Path(second)));
        PressConvert();
        const std::string text = ToCorePath(Path(second)) + " was not found.";
        QCOMPARE(m_log->messages, (std::vector<DialogMessage>{{text, text, MessageIcon::Error}}));
        // The rows before the failing one keep their outputs.
        QVERIFY(QFileInfo::exists(Out(first.left(1) + QStringLiteral(".rom"))));
    }

    void aFullDiskStopsTheBatchAndIsNotReportedAsFinished() {
        const QByteArray bytes = Pattern(100000);
        MakeSource(QStringLiteral("a.bin"), bytes);
        ChooseFolder(m_dir->path());
        {
            DiskFullAfter full(64 * 1024);
            PressConvert();
        }
        const std::string text = "Disk full while accessing " + ToCorePath(Out(QStringLiteral("a.rom"))) + ".";
        QCOMPARE(m_log->messages, (std::vector<DialogMessage>{{text, text, MessageIcon::Error}}));
        QCOMPARE(ReadFile(Path(QStringLiteral("a.bin"))), bytes);
    }

    void anOutputFolderThatIsAFileStopsTheBatch() {
        MakeSource(QStringLiteral("a.bin"), "x");
        MakeSource(QStringLiteral("Bin_Dst"), "not a folder");
        ChooseFolder(m_dir->path());
        PressConvert();
        QCOMPARE(m_log->messages.size(), 1u);
        QCOMPARE(m_log->messages[0].icon, MessageIcon::Error);
        QCOMPARE(m_log->messages[0].caption, m_log->messages[0].text);
        QCOMPARE(ReadFile(Path(QStringLiteral("Bin_Dst"))), QByteArray("not a folder"));
    }

    void namesWithSpacesAndNonAsciiLettersConvert() {
        const QString folder = Folder(QStringLiteral("Prüfstand 2"));
        QVERIFY(QDir().mkpath(folder));
        const QByteArray bytes = Pattern(70000, 5);
        QVERIFY(WriteFile(QDir(folder).filePath(QStringLiteral("Steuerung ü 程序.bin")), bytes));
        ChooseFolder(folder);
        QCOMPARE(Column(0), QStringList{"Steuerung ü 程序.bin"});
        ClickRow(0);
        ClickTag(QStringLiteral("UDE"));
        PressConvert();
        QCOMPARE(m_log->messages, std::vector<DialogMessage>{Finished()});
        QCOMPARE(ReadFile(QDir(folder).filePath(QStringLiteral("Bin_Dst/Steuerung ü 程序.rom"))), bytes.repeated(8));
        QVERIFY(IsUpdateFileOf(QDir(folder).filePath(QStringLiteral("Bin_Dst/UDE")), bytes));
    }

    void defaultChoosesTheMediumOrTheHomeFolder() {
        QTest::mouseClick(Child<QPushButton>("defaultButton"), Qt::LeftButton);
        QCOMPARE(Folder()->text(), DefaultBatchFolder());
        QVERIFY(Folder()->text().endsWith(QDir::separator()));
    }

    void theDefaultFolderIsTheFirstMountedMedium() {
        QDir media(Folder(QStringLiteral("media/service")));
        QVERIFY(media.mkpath(QStringLiteral("CARD_B")));
        QVERIFY(media.mkpath(QStringLiteral("CARD_A")));
        QVERIFY(media.mkpath(QStringLiteral("STALE")));
        const QString home = Folder(QStringLiteral("home"));
        const QStringList roots{Folder(QStringLiteral("none")), media.path()};
        auto mounted = [](const QString& path) { return !path.endsWith(QStringLiteral("STALE")); };
        QCOMPARE(DefaultBatchFolder(roots, home, mounted), media.filePath(QStringLiteral("CARD_A")) + '/');
        auto nothingMounted = [](const QString&) { return false; };
        QCOMPARE(DefaultBatchFolder(roots, home, nothingMounted), home + '/');
        QCOMPARE(DefaultBatchFolder({}, QStringLiteral("/"), nothingMounted), QStringLiteral("/"));
    }

    void aLargeBatchRunsWithoutFreezingTheWindow() {
        const qint64 size = ConversionJob::kBackgroundWorkBytes + 1;
        {
            QFile file(Path(QStringLiteral("big.bin")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(size));
        }
        ChooseFolder(m_dir->path());
        QSignalSpy done(m_dlg.data(), &CBatchConvertDlg::conversionDone);
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(Child<QPushButton>("convertButton"), Qt::LeftButton);
        const qint64 handlerMs = clock.elapsed();
        QVERIFY(m_dlg->IsConverting());
        QVERIFY(!List()->isEnabled());
        QVERIFY(!Child<QPushButton>("cancelButton")->isEnabled());
        QVERIFY(Child<QProgressBar>("convertProgress")->isVisible());
        QVERIFY(!m_dlg->close());
        QVERIFY(done.wait(60000));
        qInfo("Batch of %lld bytes: handler returned after %lld ms, batch ended after %lld ms", size, handlerMs,
              clock.elapsed());
        QCOMPARE(m_log->messages, std::vector<DialogMessage>{Finished()});
        QVERIFY(List()->isEnabled());
        QCOMPARE(QFileInfo(Out(QStringLiteral("big.rom"))).size(), size);
        QVERIFY(handlerMs < 1000);
    }

    void cancelAndEscapeCloseAndDelete_data() {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Cancel") << false;
        QTest::newRow("Escape") << true;
    }
    void cancelAndEscapeCloseAndDelete() {
        QFETCH(bool, escape);
        if (escape) {
            QTest::keyClick(List(), Qt::Key_Escape);
        } else {
            QTest::mouseClick(Child<QPushButton>("cancelButton"), Qt::LeftButton);
        }
        QTRY_VERIFY(m_dlg.isNull());
        QCOMPARE(QSettings(QStringLiteral("Morvale CNC"), QStringLiteral("Quorlin")).allKeys(), QStringList{});
    }

    void screenshot() {
        const QString folder = Folder(QStringLiteral("P80 card"));
        QVERIFY(QDir().mkpath(folder));
        for (const char* name : {"Q80SYS.bin", "Q80PLC.bin", "Q80UI.bin", "Q80FONT.bin"})
            QVERIFY(WriteFile(QDir(folder).filePath(QString::fromLatin1(name)), "x"));
        ChooseFolder(folder);
        List()->sortItems(0);
        ClickRow(RowOf(QStringLiteral("Q80SYS.bin")));
        ClickTag(QStringLiteral("SYS"));
        ClickRow(RowOf(QStringLiteral("Q80UI.bin")));
        ClickTag(QStringLiteral("QVA"));
        SaveScreenshot(*m_dlg, QStringLiteral("batch-convert-dialog"));
    }
};

QTEST_MAIN(BatchConvertDlgTest)
#include "BatchConvertDlgTest.moc"
