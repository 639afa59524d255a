// The NC program editor and its document: New, Open, Save, Save As with
// their questions and failure messages, byte-exact files, the modified
// flag and the caption's mark, the Edit commands and their states, Find and
// Replace going round the program, Go To with the caret's panes, the context
// menu.

#include <signal.h>
#include <sys/resource.h>

#include <QAction>
#include <QElapsedTimer>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QTest>
#include <memory>

#include "app/FindReplace.h"
#include "app/GoToDlg.h"
#include "app/MainFrame.h"
#include "app/QuorlinDoc.h"
#include "app/QuorlinView.h"
#include "res/CommandIds.h"
#include "tests/app/AppTestSupport.h"
#include "transfer/qt/CommView.h"

using namespace quorlin;

class EditorTest : public test::FrameTestBase {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void openAndSaveKeepEveryByte_data();
    void openAndSaveKeepEveryByte();
    void aNewDocumentIsSavedWithCrLf();
    void eachLineKeepsItsBreak_data();
    void eachLineKeepsItsBreak();
    void pastedLinesAreLinesAdded();
    void aLargeProgramOpensWhileTheWindowLives();
    void saveAsAsksForANameAndRenamesTheDocument();
    void newAsksToSaveAModifiedDocument();
    void openFailuresSayWhy_data();
    void openFailuresSayWhy();
    void failedSaveKeepsTheFileAndTheDocument();
    void textThatNeedsMoreThanOneByteIsNotSaved();
    void theLogNeverMarksTheDocument();
    void editCommandStates();
    void findSelectsAndReportsTheEnd();
    void replaceAndReplaceAll();
    void goToALineOrABlockNumber();
    void contextMenuIsTheEditPopup();
    void editorLooksTheWayItShould();

private:
    std::unique_ptr<QTemporaryDir> m_files;
    CQuorlinView* m_view = nullptr;
    CQuorlinDoc* m_doc = nullptr;
};

void EditorTest::init() {
    StartFrameTest();
    m_files = std::make_unique<QTemporaryDir>();
    m_frame = std::make_unique<CMainFrame>(m_prompts);
    m_view = m_frame->GetEditorView();
    m_doc = &m_frame->Document();
    m_doc->NewDocument();
    m_frame->show();
}

void EditorTest::cleanup() {
    EndFrameTest();
}

void EditorTest::openAndSaveKeepEveryByte_data() {
    QTest::addColumn<QByteArray>("bytes");
    QByteArray high;
    for (int b = 0x80; b <= 0xFF; ++b) high += char(b);
    QTest::newRow("CR LF") << QByteArray("%\r\nO0001 (PART)\r\nN10 G01 X10.5 F300\r\nM30\r\n%\r\n");
    QTest::newRow("LF") << QByteArray("%\nO0002\nN10 G00 Z5\n\n\nM30\n");
    QTest::newRow("bytes 0x80-0xFF") << (QByteArray("(") + high + ")\r\nG01\t X1\xa0Y2\r\n\x1a");
    QTest::newRow("no final break") << QByteArray("G01 X1\r\nG01 X2");
}

void EditorTest::openAndSaveKeepEveryByte() {
    QFETCH(QByteArray, bytes);
    const QString path = test::WriteFile(*m_files, "part.nc", bytes);
    QVERIFY(m_doc->OpenDocument(path));
    QVERIFY(!m_doc->IsModified());
    QCOMPARE(m_frame->windowTitle(), QStringLiteral("Quorlin1.74 - part.nc"));
    QVERIFY(m_doc->OnFileSave());
    QCOMPARE(test::ReadWholeFile(path), bytes);
    QVERIFY(m_prompts.messages.empty());
    QVERIFY(m_prompts.dialogs.empty());
}

void EditorTest::aNewDocumentIsSavedWithCrLf() {
    QTest::keyClicks(m_view, "G01 X1");
    QTest::keyClick(m_view, Qt::Key_Return);
    QTest::keyClicks(m_view, "M30");
    QVERIFY(m_doc->IsModified());
    QCOMPARE(m_frame->windowTitle(), QStringLiteral("Quorlin1.74 - Untitled*"));
    const QString path = m_files->filePath("new.nc");
    m_prompts.paths.push_back(path);
    m_frame->Action(cmd::kFileSave)->trigger();  // untitled: Save As
    QCOMPARE(m_prompts.dialogs.size(), size_t(1));
    QCOMPARE(m_prompts.dialogs[0].title, QStringLiteral("Save As"));
    QCOMPARE(test::ReadWholeFile(path), QByteArray("G01 X1\r\nM30"));
    QVERIFY(!m_doc->IsModified());
    QCOMPARE(m_frame->windowTitle(), QStringLiteral("Quorlin1.74 - new.nc"));
}

void EditorTest::eachLineKeepsItsBreak_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<QByteArray>("undone");
    // A line is added after the second line and the fourth is deleted; the
    // added line gets the break most lines have. Undo brings the deleted
    // line back, and then a line with a break of its own is deleted, and
    // joined to the next, and each taken back.
    QTest::newRow("mostly CR LF") << QByteArray("%\r\nO0001\nN10 G01 X1\rN20 X2\r\nN30 M30\r\n")
                                  << QByteArray("%\r\nO0001\nN15 G90\r\nN10 G01 X1\rN30 M30\r\n")
                                  << QByteArray("%\r\nO0001\nN15 G90\r\nN10 G01 X1\rN20 X2\r\nN30 M30\r\n");
    QTest::newRow("mostly LF, CR at the end") << QByteArray("G00\nG01\r\nG02\rG03\nG04\nM30\r")
                                              << QByteArray("G00\nG01\r\nN15 G90\nG02\rG04\nM30\r")
                                              << QByteArray("G00\nG01\r\nN15 G90\nG02\rG03\nG04\nM30\r");
}

void EditorTest::eachLineKeepsItsBreak() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, saved);
    const QString path = test::WriteFile(*m_files, "mixed.nc", bytes);
    QVERIFY(m_doc->OpenDocument(path));
    QTextCursor cursor(m_view->document()->findBlockByNumber(1));
    cursor.movePosition(QTextCursor::EndOfBlock);
    m_view->setTextCursor(cursor);
    QTest::keyClick(m_view, Qt::Key_Return);
    QTest::keyClicks(m_view, "N15 G90");
    // The fourth line of the file is now the fifth: select it whole and delete it.
    m_view->setTextCursor(QTextCursor(m_view->document()->findBlockByNumber(4)));
    QTest::keyClick(m_view, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(m_view, Qt::Key_Delete);
    QVERIFY(m_doc->OnFileSave());
    QCOMPARE(test::ReadWholeFile(path), saved);

    QFETCH(QByteArray, undone);
    m_frame->Action(cmd::kEditUndo)->trigger();
    // The fourth line now ends with a break of its own (CR).
    m_view->setTextCursor(QTextCursor(m_view->document()->findBlockByNumber(3)));
    QTest::keyClick(m_view, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(m_view, Qt::Key_Delete);
    m_frame->Action(cmd::kEditUndo)->trigger();
    m_view->setTextCursor(QTextCursor(m_view->document()->findBlockByNumber(4)));
    QTest::keyClick(m_view, Qt::Key_Backspace);
    m_frame->Action(cmd::kEditUndo)->trigger();
    QVERIFY(m_doc->OnFileSave());
    QCOMPARE(test::ReadWholeFile(path), undone);
}

void EditorTest::pastedLinesAreLinesAdded() {
    // Pasted at the start of the CR line, two lines come before it with the
    // usual break (LF), and the line keeps its own.
    const QString path = test::WriteFile(*m_files, "paste.nc", "G00\nG01\rG02\nG03\n");
    QVERIFY(m_doc->OpenDocument(path));
    m_view->setTextCursor(QTextCursor(m_view->document()->findBlockByNumber(1)));
    QApplication::clipboard()->setText(QStringLiteral("X1\r\nX2\n"));
    QTest::keyClick(m_view, Qt::Key_V, Qt::ControlModifier);
    QVERIFY(m_doc->OnFileSave());
    QCOMPARE(test::ReadWholeFile(path), QByteArray("G00\nX1\nX2\nG01\rG02\nG03\n"));
}

void EditorTest::aLargeProgramOpensWhileTheWindowLives() {
    QByteArray bytes = "%\r\nO1234 (MOULD)\r\n";
    for (int line = 10; bytes.size() < 12'000'000; line += 10) {
        bytes += "N" + QByteArray::number(line) + " G01 X12.345 Y-6.789 Z-0.25 F1200\r\n";
    }
    bytes += "M30\r\n";
    const QString path = test::WriteFile(*m_files, "mould.nc", bytes);

    // The event loop keeps turning while the program is read, and the
    // progress shows once the open lasts.
    QElapsedTimer clock;
    qint64 last = 0, longestGap = 0;
    bool progressShown = false;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - last);
        last = clock.elapsed();
        auto* progress = m_frame->findChild<QProgressDialog*>(QStringLiteral("openProgress"));
        progressShown = progressShown || (progress && progress->isVisible());
    });
    clock.start();
    ticker.start(10);
    QVERIFY(m_doc->OpenDocument(path));
    longestGap = std::max(longestGap, clock.elapsed() - last);
    const qint64 openMs = clock.elapsed();
    ticker.stop();
    qInfo("open of 12 MB: %lld ms, longest the window waited: %lld ms", openMs, longestGap);
    QVERIFY(progressShown);
    QVERIFY2(longestGap < 2000, qPrintable(QString::number(longestGap)));
    QCOMPARE(m_doc->Title(), QStringLiteral("mould.nc"));
    QCOMPARE(m_view->blockCount(), bytes.count('\n') + 1);
    QVERIFY(!m_doc->IsModified());
    // The caret stands at the start of the program, and the panes say so.
    QCOMPARE(m_view->textCursor().position(), 0);
    QCOMPARE(m_frame->statusBar()->findChild<QLabel*>(QStringLiteral("caretPosition"))->text(),
             QStringLiteral("Ln 1, Col 1"));

    // Only what is shown is coloured.
    m_view->viewport()->repaint();
    QVERIFY(!m_view->document()->firstBlock().next().layout()->formats().isEmpty());
    QVERIFY(m_view->document()->lastBlock().previous().layout()->formats().isEmpty());

    // A wider window does not lay out every line anew: lines that never
    // wrap look the same at any width.
    const QTextBlock shown = m_view->cursorForPosition(QPoint(0, 0)).block();
    QVERIFY(shown.layout()->lineCount() > 0);
    clock.restart();
    m_view->resize(m_view->width() + 120, m_view->height());
    qInfo("a wider editor: %lld ms", clock.elapsed());
    QVERIFY(shown.layout()->lineCount() > 0);

    // Cancel stops a second open soon, and the program shown stays.
    QElapsedTimer sinceCancel;
    connect(&ticker, &QTimer::timeout, this, [&] {
        auto* progress = m_frame->findChild<QProgressDialog*>(QStringLiteral("openProgress"));
        if (sinceCancel.isValid() || !progress || !progress->isVisible()) return;
        for (QPushButton* button : progress->findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("Cancel")) {
                sinceCancel.start();
                QTest::mouseClick(button, Qt::LeftButton);
            }
        }
    });
    ticker.start(10);
    const QString other = test::WriteFile(*m_files, "other.nc", bytes);
    QVERIFY(!m_doc->OpenDocument(other));
    QVERIFY(sinceCancel.isValid());
    qInfo("Cancel ended the open in %lld ms", sinceCancel.elapsed());
    QVERIFY(sinceCancel.elapsed() < 3000);
    QCOMPARE(m_doc->Title(), QStringLiteral("mould.nc"));
    QCOMPARE(m_view->blockCount(), bytes.count('\n') + 1);
    QVERIFY(m_prompts.messages.empty());
    // The program shown is the one on disk: not marked as changed, and the
    // window does not ask to save it.
    QVERIFY(!m_doc->IsModified());
    QCOMPARE(m_frame->windowTitle(), QStringLiteral("Quorlin1.74 - mould.nc"));
    QVERIFY(m_doc->SaveModified());
    QVERIFY(m_prompts.messages.empty());
}

void EditorTest::saveAsAsksForANameAndRenamesTheDocument() {
    const QString path = test::WriteFile(*m_files, "a.nc", "G01\n");
    QVERIFY(m_doc->OpenDocument(path));
    m_prompts.paths.push_back(m_files->filePath("b.nc"));
    m_frame->Action(cmd::kFileSaveAs)->trigger();
    QCOMPARE(test::ReadWholeFile(m_files->filePath("b.nc")), QByteArray("G01\n"));
    QCOMPARE(m_doc->Title(), QStringLiteral("b.nc"));
    // Cancelled: nothing written, the name stays.
    m_frame->Action(cmd::kFileSaveAs)->trigger();
    QCOMPARE(m_doc->Title(), QStringLiteral("b.nc"));
}

void EditorTest::newAsksToSaveAModifiedDocument() {
    const QString path = test::WriteFile(*m_files, "kept.nc", "G01\r\n");
    QVERIFY(m_doc->OpenDocument(path));
    m_view->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_view, "M30");

    m_prompts.answers.push_back(PromptAnswer::Cancel);
    m_frame->Action(cmd::kFileNew)->trigger();
    QCOMPARE(m_prompts.messages.back().text, QStringLiteral("Save changes to kept.nc?"));
    QVERIFY(m_prompts.messages.back().buttons == PromptButtons::YesNoCancel);
    QCOMPARE(m_doc->Title(), QStringLiteral("kept.nc"));

    m_prompts.answers.push_back(PromptAnswer::Yes);
    m_frame->Action(cmd::kFileNew)->trigger();
    QCOMPARE(test::ReadWholeFile(path), QByteArray("G01\r\nM30"));
    QCOMPARE(m_doc->Title(), QStringLiteral("Untitled"));
    QVERIFY(m_view->Text().isEmpty());

    // Open asks as well, before its dialog.
    QTest::keyClicks(m_view, "X");
    m_prompts.answers.push_back(PromptAnswer::No);
    m_prompts.paths.push_back(path);
    m_frame->Action(cmd::kFileOpen)->trigger();
    QCOMPARE(m_prompts.dialogs.back().title, QStringLiteral("Open"));
    QCOMPARE(m_view->Text(), QStringLiteral("G01\nM30"));
}

void EditorTest::openFailuresSayWhy_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expectedStart");
    QTest::newRow("missing") << "missing.nc" << QByteArray() << "%1 was not found.";
    QTest::newRow("folder") << "folder" << QByteArray() << "Failed to open document.";
    QTest::newRow("binary") << "image.bmp" << QByteArray("BM\x36\x04\0\0", 6) << "Failed to open document.";
    QTest::newRow("huge") << "huge.nc" << QByteArray() << "The file is too large to open.";
}

void EditorTest::openFailuresSayWhy() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, expectedStart);
    const QString path = m_files->filePath(name);
    if (name == "folder") QVERIFY(QDir().mkpath(path));
    if (!content.isEmpty()) test::WriteFile(*m_files, name, content);
    if (name == "huge.nc") {
        QFile huge(path);
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(kMaxEditableBytes + 1));
    }
    m_view->setPlainText(QStringLiteral("the open program"));
    QVERIFY(!m_doc->OpenDocument(path));
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    const QString expected = expectedStart.contains(QStringLiteral("%1")) ? expectedStart.arg(path) : expectedStart;
    QVERIFY2(m_prompts.messages[0].text.startsWith(expected), qPrintable(m_prompts.messages[0].text));
    // The document in the editor stays.
    QCOMPARE(m_view->Text(), QStringLiteral("the open program"));
    QCOMPARE(m_doc->Title(), QStringLiteral("Untitled"));
}

void EditorTest::failedSaveKeepsTheFileAndTheDocument() {
    const QByteArray old = "O0001\r\nG01 X1\r\n";
    const QString path = test::WriteFile(*m_files, "part.nc", old);
    QVERIFY(m_doc->OpenDocument(path));
    m_view->selectAll();
    m_view->insertPlainText(QString(100000, QLatin1Char('G')));
    QVERIFY(m_doc->IsModified());
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    rlimit limit {}, small {};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    small = limit;
    small.rlim_cur = 4096;  // the disk fills part way
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool saved = m_doc->OnFileSave();
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    QVERIFY(!saved);
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    QVERIFY(m_prompts.messages[0].text.startsWith(QStringLiteral("Failed to save document.")));
    QCOMPARE(test::ReadWholeFile(path), old);
    QVERIFY(m_doc->IsModified());
    QCOMPARE(QDir(m_files->path()).entryList(QDir::Files), QStringList{"part.nc"});
}

void EditorTest::textThatNeedsMoreThanOneByteIsNotSaved() {
    const QString path = test::WriteFile(*m_files, "part.nc", "G01\r\n");
    QVERIFY(m_doc->OpenDocument(path));
    m_view->moveCursor(QTextCursor::End);
    m_view->insertPlainText(QStringLiteral("X1 \u2192 Y2"));
    QVERIFY(!m_doc->OnFileSave());
    QVERIFY(m_prompts.messages[0].text.contains(QStringLiteral("line 2")));
    QCOMPARE(test::ReadWholeFile(path), QByteArray("G01\r\n"));
}

void EditorTest::theLogNeverMarksTheDocument() {
    const QString path = test::WriteFile(*m_files, "part.nc", "G01\r\n");
    QVERIFY(m_doc->OpenDocument(path));
    m_frame->GetCommView()->appendPlainText(QStringLiteral("received"));
    QVERIFY(!m_doc->IsModified());
    // Colouring changes no text either.
    m_view->document()->setPlainText(QStringLiteral("N10 G01 X1 (c)"));
    m_view->SetModified(false);
    QApplication::processEvents();
    QVERIFY(!m_doc->IsModified());
}

void EditorTest::editCommandStates() {
    m_frame->activateWindow();
    if (!QTest::qWaitForWindowActive(m_frame.get())) QSKIP("the window system did not make the window active");
    m_view->setFocus();
    QTRY_VERIFY(m_view->hasFocus());
    m_frame->UpdateCommandStates();
    auto enabled = [this](int id) { return m_frame->Action(id)->isEnabled(); };
    QVERIFY(!enabled(cmd::kEditUndo));
    QVERIFY(!enabled(cmd::kEditCut));
    QVERIFY(!enabled(cmd::kEditCopy));
    QVERIFY(!enabled(cmd::kEditSelectAll));

    QTest::keyClicks(m_view, "G01 X1");
    QVERIFY(enabled(cmd::kEditUndo));
    QVERIFY(enabled(cmd::kEditSelectAll));
    QVERIFY(!enabled(cmd::kEditCopy));
    m_frame->Action(cmd::kEditSelectAll)->trigger();
    QVERIFY(enabled(cmd::kEditCut));
    QVERIFY(enabled(cmd::kEditCopy));
    m_frame->Action(cmd::kEditCopy)->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("G01 X1"));
    QTRY_VERIFY(enabled(cmd::kEditPaste));
    m_frame->Action(cmd::kEditCut)->trigger();
    QVERIFY(m_view->Text().isEmpty());
    m_frame->Action(cmd::kEditPaste)->trigger();
    m_frame->Action(cmd::kEditPaste)->trigger();
    QCOMPARE(m_view->Text(), QStringLiteral("G01 X1G01 X1"));
    m_frame->Action(cmd::kEditUndo)->trigger();
    QCOMPARE(m_view->Text(), QStringLiteral("G01 X1"));

    // In the log, Cut, Paste and Undo have nothing to act on.
    m_frame->GetCommView()->setPlainText(QStringLiteral("log text"));
    m_frame->GetCommView()->setFocus();
    QTRY_VERIFY(m_frame->GetCommView()->hasFocus());
    m_frame->UpdateCommandStates();
    QVERIFY(!enabled(cmd::kEditPaste));
    QVERIFY(!enabled(cmd::kEditCut));
    QVERIFY(enabled(cmd::kEditSelectAll));
    m_frame->Action(cmd::kEditSelectAll)->trigger();
    m_frame->Action(cmd::kEditCopy)->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("log text"));
}

void EditorTest::findSelectsAndReportsTheEnd() {
    m_view->SetText(QStringLiteral("N10 G00 X1\nN20 g01 X2\nN30 G01 X3\n"));
    m_frame->Action(cmd::kEditFind)->trigger();
    CFindReplaceDlg* dialog = m_frame->FindReplace().Dialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Find"));
    auto* what = dialog->findChild<QLineEdit*>(QStringLiteral("findWhat"));
    auto* next = dialog->findChild<QPushButton*>(QStringLiteral("findNext"));
    QVERIFY(!next->isEnabled());
    what->setText(QStringLiteral("G01"));
    QVERIFY(next->isEnabled());
    next->click();
    QCOMPARE(m_view->textCursor().selectedText(), QStringLiteral("g01"));  // case ignored
    QCOMPARE(m_view->textCursor().blockNumber(), 1);
    m_frame->activateWindow();
    if (QTest::qWaitForWindowActive(m_frame.get())) QTest::keyClick(m_view, Qt::Key_F3);  // Find Next
    else m_frame->Action(cmd::kEditFindNext)->trigger();  // no window manager to activate the window
    QCOMPARE(m_view->textCursor().blockNumber(), 2);
    QVERIFY(m_prompts.messages.empty());
    // Past the last one the search goes round once, and says so.
    auto* status = dialog->findChild<QLabel*>(QStringLiteral("searchStatus"));
    m_frame->Action(cmd::kEditFindNext)->trigger();
    QCOMPARE(m_view->textCursor().blockNumber(), 1);
    const QString wrapped = QStringLiteral("Passed the end of the program; continued from the start.");
    QCOMPARE(m_frame->statusBar()->currentMessage(), wrapped);
    QCOMPARE(status->text(), wrapped);
    // Shift+F3 goes back up, round the start to the last one.
    m_frame->Action(cmd::kEditFindPrevious)->trigger();
    QCOMPARE(m_view->textCursor().blockNumber(), 2);
    QCOMPARE(m_frame->statusBar()->currentMessage(),
             QStringLiteral("Passed the start of the program; continued from the end."));
    QVERIFY(m_prompts.messages.empty());

    // F3 and Shift+F3 work in the dialog as well.
    dialog->activateWindow();
    if (QTest::qWaitForWindowActive(dialog)) {
        m_view->moveCursor(QTextCursor::Start);
        QTest::keyClick(what, Qt::Key_F3);
        QCOMPARE(m_view->textCursor().blockNumber(), 1);
        QVERIFY(m_frame->statusBar()->currentMessage().isEmpty());
        QTest::keyClick(what, Qt::Key_F3);
        QCOMPARE(m_view->textCursor().blockNumber(), 2);
        QTest::keyClick(what, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(m_view->textCursor().blockNumber(), 1);
    }

    // Only a text that does not occur at all ends the search.
    what->setText(QStringLiteral("T99"));
    next->click();
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    QCOMPARE(m_prompts.messages[0].text, QStringLiteral("T99 find ended!"));
    QCOMPARE(m_prompts.messages[0].caption, QStringLiteral("Prompt"));
    QVERIFY(m_prompts.messages[0].icon == PromptIcon::Information);
    QCOMPARE(m_view->textCursor().selectedText(), QStringLiteral("g01"));  // the selection stays

    // Match case, searching up from the end: one occurrence, found again
    // after going round.
    what->setText(QStringLiteral("G01"));
    dialog->findChild<QCheckBox*>(QStringLiteral("matchCase"))->setChecked(true);
    dialog->findChild<QAbstractButton*>(QStringLiteral("up"))->click();
    m_view->moveCursor(QTextCursor::End);
    next->click();
    QCOMPARE(m_view->textCursor().blockNumber(), 2);
    next->click();
    QCOMPARE(m_view->textCursor().blockNumber(), 2);
    QCOMPARE(status->text(), QStringLiteral("Passed the start of the program; continued from the end."));
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    test::SaveScreenshot(dialog, QStringLiteral("find-dialog"));
    dialog->close();
}

void EditorTest::replaceAndReplaceAll() {
    m_view->SetText(QStringLiteral("G01 X1\nG01 X2\nG011 X3\n"));
    m_view->moveCursor(QTextCursor::Start);
    m_frame->Action(cmd::kEditReplace)->trigger();
    CFindReplaceDlg* dialog = m_frame->FindReplace().Dialog();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Replace"));
    dialog->findChild<QLineEdit*>(QStringLiteral("findWhat"))->setText(QStringLiteral("G01"));
    dialog->findChild<QLineEdit*>(QStringLiteral("replaceWith"))->setText(QStringLiteral("G02"));
    dialog->findChild<QCheckBox*>(QStringLiteral("wholeWord"))->setChecked(true);
    auto* replace = dialog->findChild<QPushButton*>(QStringLiteral("replace"));
    replace->click();  // selects the first
    replace->click();  // replaces it, selects the second
    QCOMPARE(m_view->Text(), QStringLiteral("G02 X1\nG01 X2\nG011 X3\n"));
    dialog->findChild<QPushButton*>(QStringLiteral("replaceAll"))->click();
    QCOMPARE(m_view->Text(), QStringLiteral("G02 X1\nG02 X2\nG011 X3\n"));
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("searchStatus"))->text(),
             QStringLiteral("Replaced 1 occurrence."));
    QCOMPARE(m_frame->statusBar()->currentMessage(), QStringLiteral("Replaced 1 occurrence."));
    // One undo takes Replace All back whole.
    m_view->undo();
    QCOMPARE(m_view->Text(), QStringLiteral("G02 X1\nG01 X2\nG011 X3\n"));
    dialog->findChild<QLineEdit*>(QStringLiteral("findWhat"))->setText(QStringLiteral("T99"));
    dialog->findChild<QPushButton*>(QStringLiteral("replaceAll"))->click();
    QCOMPARE(m_prompts.messages.back().text, QStringLiteral("T99 find ended!"));
    dialog->close();
}

void EditorTest::goToALineOrABlockNumber() {
    QString program = QStringLiteral("%\nO0001\n");
    for (int n = 10; n <= 3000; n += 10) program += QStringLiteral("N%1 G01 X%2\n").arg(n).arg(n / 10);
    program += QStringLiteral("/N0120 M01\nM30\n");  // N120 again, with a skip slash and zeros
    m_view->SetText(program);
    m_view->resize(400, 200);
    auto* position = m_frame->statusBar()->findChild<QLabel*>(QStringLiteral("caretPosition"));
    auto* block = m_frame->statusBar()->findChild<QLabel*>(QStringLiteral("caretBlock"));
    QCOMPARE(position->text(), QStringLiteral("Ln 1, Col 1"));
    QCOMPARE(block->text(), QString());

    // Answers the Go To box with text, or cancels it with an empty one.
    auto goTo = [this](const QString& text) {
        QTimer::singleShot(0, this, [text] {
            auto* box = qobject_cast<CGoToDlg*>(QApplication::activeModalWidget());
            QVERIFY(box);
            QCOMPARE(box->windowTitle(), QStringLiteral("Go To"));
            auto* ok = box->findChild<QPushButton*>(QStringLiteral("ok"));
            QTest::keyClicks(box->TargetBox(), text);
            QCOMPARE(ok->isEnabled(), !text.isEmpty() && text != QStringLiteral("X5"));
            if (ok->isEnabled()) ok->click();
            else box->reject();
        });
        m_frame->Action(cmd::kEditGoTo)->trigger();
    };
    goTo(QStringLiteral("n120"));
    QCOMPARE(m_view->textCursor().blockNumber(), 13);
    QCOMPARE(block->text(), QStringLiteral("N120"));
    QCOMPARE(position->text(), QStringLiteral("Ln 14, Col 1"));
    QVERIFY(m_view->viewport()->rect().contains(m_view->cursorRect()));
    goTo(QStringLiteral("N120"));  // the next line of that number
    QCOMPARE(m_view->textCursor().blockNumber(), 302);
    QCOMPARE(block->text(), QStringLiteral("N0120"));
    goTo(QStringLiteral("250"));
    QCOMPARE(m_view->textCursor().blockNumber(), 249);
    QCOMPARE(block->text(), QStringLiteral("N2480"));
    QVERIFY(m_view->viewport()->rect().contains(m_view->cursorRect()));
    m_view->moveCursor(QTextCursor::Right);
    m_view->moveCursor(QTextCursor::Right);
    QCOMPARE(position->text(), QStringLiteral("Ln 250, Col 3"));
    goTo(QStringLiteral("X5"));  // neither: OK stays disabled
    QCOMPARE(m_view->textCursor().blockNumber(), 249);
    QVERIFY(m_prompts.messages.empty());

    goTo(QStringLiteral("N125"));
    goTo(QStringLiteral("999"));
    QCOMPARE(m_prompts.messages.size(), size_t(2));
    QCOMPARE(m_prompts.messages[0].text, QStringLiteral("No block of the program is numbered N125."));
    QCOMPARE(m_prompts.messages[1].text, QStringLiteral("There is no line 999: the program has 305 lines."));
    QCOMPARE(m_view->textCursor().blockNumber(), 249);
}

void EditorTest::contextMenuIsTheEditPopup() {
    QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
    m_view->SetText(QStringLiteral("G01 X1"));
    m_view->selectAll();
    const QPoint where(40, 10);
    QContextMenuEvent event(QContextMenuEvent::Mouse, where, m_view->viewport()->mapToGlobal(where));
    QApplication::sendEvent(m_view->viewport(), &event);
    QMenu* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(popup);
    QCOMPARE(popup->title(), QStringLiteral("&Edit"));
    QCOMPARE(popup->pos(), m_view->viewport()->mapToGlobal(where));
    QAction* copy = m_frame->Action(cmd::kEditCopy);
    QVERIFY(popup->actions().contains(copy));
    QVERIFY(copy->isEnabled());
    QGuiApplication::clipboard()->clear();
    popup->close();
    copy->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("G01 X1"));
}

void EditorTest::editorLooksTheWayItShould() {
    // Monospaced as measured: the fixed-pitch flag of a face is not to be
    // trusted (fontconfig leaves it off for some monospaced faces).
    const QFontMetricsF metrics(m_view->font());
    QCOMPARE(metrics.horizontalAdvance(QLatin1Char('i')), metrics.horizontalAdvance(QLatin1Char('W')));
    QCOMPARE(m_view->lineWrapMode(), QPlainTextEdit::NoWrap);
    QVERIFY(m_view->LineNumberWidth() > 0);
    QCOMPARE(m_view->accessibleName(), QStringLiteral("NC program"));
    m_view->SetText(QStringLiteral("%\nO0001 (DEMO PART)\nN10 G21 G90\nN20 G00 X0 Y0 Z5.\nN30 G01 Z-1. F100\n"
                                   "N40 X40. Y20. F300\nN50 M30\n%\n"));
    test::SaveScreenshot(m_frame.get(), QStringLiteral("editor"));
}

QTEST_MAIN(EditorTest)
#include "EditorTest.moc"
