// The NC program editor and its document: New, Open, Save, Save As with
// their questions and failure messages, byte-exact files, the modified
// flag, the Edit commands and their states, Find and Replace, the context
// menu.

#include <signal.h>
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "app/FindReplace.h"
#include "app/MainFrame.h"
#include "app/QuorlinDoc.h"
#include "app/QuorlinView.h"
#include "res/CommandIds.h"
#include "tests/app/AppTestSupport.h"
#include "transfer/qt/CommView.h"

using namespace quorlin;

class EditorTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void openAndSaveKeepEveryByte_data();
    void openAndSaveKeepEveryByte();
    void aNewDocumentIsSavedWithCrLf();
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
    void contextMenuIsTheEditPopup();
    void editorLooksTheWayItShould();

private:
    std::unique_ptr<test::PtyPorts> m_ports;
    test::ModalMessageCloser m_closer;
    test::FakePrompts m_prompts;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<QTemporaryDir> m_files;
    CQuorlinView* m_view = nullptr;
    CQuorlinDoc* m_doc = nullptr;
};

void EditorTest::init() {
    test::ClearProfile();
    m_ports = std::make_unique<test::PtyPorts>();
    m_prompts = test::FakePrompts();
    m_files = std::make_unique<QTemporaryDir>();
    m_frame = std::make_unique<CMainFrame>(m_prompts);
    m_view = m_frame->GetEditorView();
    m_doc = &m_frame->Document();
    m_doc->NewDocument();
    m_frame->show();
}

void EditorTest::cleanup() {
    m_frame.reset();
    m_ports.reset();
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
    const QString path = m_files->filePath("new.nc");
    m_prompts.paths.push_back(path);
    m_frame->Action(cmd::kFileSave)->trigger();  // untitled: Save As
    QCOMPARE(m_prompts.dialogs.size(), size_t(1));
    QCOMPARE(m_prompts.dialogs[0].title, QStringLiteral("Save As"));
    QCOMPARE(test::ReadWholeFile(path), QByteArray("G01 X1\r\nM30"));
    QVERIFY(!m_doc->IsModified());
    QCOMPARE(m_frame->windowTitle(), QStringLiteral("Quorlin1.74 - new.nc"));
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
    m_frame->Action(cmd::kEditFindNext)->trigger();
    QCOMPARE(m_prompts.messages.size(), size_t(1));
    QCOMPARE(m_prompts.messages[0].text, QStringLiteral("G01 find ended!"));
    QCOMPARE(m_prompts.messages[0].caption, QStringLiteral("Prompt"));
    QVERIFY(m_prompts.messages[0].icon == PromptIcon::Information);

    // Match case, searching up from the end.
    dialog->findChild<QCheckBox*>(QStringLiteral("matchCase"))->setChecked(true);
    dialog->findChild<QAbstractButton*>(QStringLiteral("up"))->click();
    m_view->moveCursor(QTextCursor::End);
    next->click();
    QCOMPARE(m_view->textCursor().blockNumber(), 2);
    next->click();
    QCOMPARE(m_prompts.messages.size(), size_t(2));
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
    // One undo takes Replace All back whole.
    m_view->undo();
    QCOMPARE(m_view->Text(), QStringLiteral("G02 X1\nG01 X2\nG011 X3\n"));
    dialog->findChild<QLineEdit*>(QStringLiteral("findWhat"))->setText(QStringLiteral("T99"));
    dialog->findChild<QPushButton*>(QStringLiteral("replaceAll"))->click();
    QCOMPARE(m_prompts.messages.back().text, QStringLiteral("T99 find ended!"));
    dialog->close();
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
