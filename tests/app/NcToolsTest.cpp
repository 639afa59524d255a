// The NC tools of the Edit menu on the real editor: each is one undo step,
// works on the lines the selection touches or on the whole program, and the
// Renumber dialog remembers its choice in a profile group of its own.

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <memory>

#include "app/MainFrame.h"
#include "app/QuorlinView.h"
#include "app/RenumberDlg.h"
#include "res/CommandIds.h"
#include "tests/app/AppTestSupport.h"

using namespace quorlin;

namespace {

const QString kProgram = QStringLiteral(
    "%\n"
    "O0042 (BRACKET  OP20)\n"
    "(DRILL 4 HOLES)\n"
    "N10 G90 G54\n"
    "N20 G81 X10. Y10. Z-5. R2. F80 (  PECK  )\n"
    "X30.\n"
    "N40 G80 M30\n"
    "%");

// Answers the Renumber dialog that the command is about to open.
void AnswerRenumberDlg(int start, int step, int digits, bool all) {
    QTimer::singleShot(0, [=] {
        auto* dlg = qobject_cast<CRenumberDlg*>(QApplication::activeModalWidget());
        QVERIFY(dlg);
        const QList<QSpinBox*> boxes = dlg->findChildren<QSpinBox*>();
        QCOMPARE(boxes.size(), 3);
        for (QSpinBox* box : boxes) QVERIFY(!box->accessibleName().isEmpty());
        boxes[0]->setValue(start);
        boxes[1]->setValue(step);
        boxes[2]->setValue(digits);
        dlg->findChild<QCheckBox*>()->setChecked(all);
        dlg->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
}

}  // namespace

class NcToolsTest : public test::FrameTestBase {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void eachToolIsOneUndoStepOnTheWholeProgram();
    void aSelectionLimitsTheToolToItsLines();
    void renumberRemembersItsChoice();
    void theCaretStaysWhereItWas();

private:
    CQuorlinView* m_view = nullptr;
};

void NcToolsTest::init() {
    StartFrameTest();
    m_frame = std::make_unique<CMainFrame>(m_prompts);
    m_view = m_frame->GetEditorView();
    m_frame->show();
    m_view->SetText(kProgram);
    m_view->setFocus();
}

void NcToolsTest::cleanup() {
    EndFrameTest();
}

void NcToolsTest::eachToolIsOneUndoStepOnTheWholeProgram() {
    struct Case {
        int command;
        QString expected;
    };
    const Case cases[] = {
        {cmd::kCompactBlocks,
         "%\nO0042 (BRACKET  OP20)\n(DRILL 4 HOLES)\nN10G90G54\n"
         "N20G81X10.Y10.Z-5.R2.F80(  PECK  )\nX30.\nN40G80M30\n%"},
        {cmd::kRemoveBlockNumbers,
         "%\nO0042 (BRACKET  OP20)\n(DRILL 4 HOLES)\nG90 G54\nG81 X10. Y10. Z-5. R2. F80 (  PECK  )\nX30.\nG80 M30\n%"},
        {cmd::kRemoveComments,
         "%\nO0042 (BRACKET  OP20)\nN10 G90 G54\nN20 G81 X10. Y10. Z-5. R2. F80\nX30.\nN40 G80 M30\n%"},
    };
    for (const Case& c : cases) {
        QAction* action = m_frame->Action(c.command);
        QVERIFY(action);
        QVERIFY(action->isEnabled());
        // The tools are in the Edit popup, which is also the editor's context menu.
        QVERIFY(m_frame->menuBar()->actions().at(1)->menu()->actions().contains(action));
        action->trigger();
        QCOMPARE(m_view->Text(), c.expected);
        QVERIFY(m_view->IsModified());
        m_frame->Action(cmd::kEditUndo)->trigger();
        QCOMPARE(m_view->Text(), kProgram);
    }
    QMenu* edit = m_frame->menuBar()->actions().at(1)->menu();
    edit->popup(m_frame->mapToGlobal(QPoint(40, 40)));
    QVERIFY(QTest::qWaitForWindowExposed(edit));
    test::SaveScreenshot(edit, QStringLiteral("menu-edit-nc-tools"));
    edit->hide();

    // A program the tool leaves as it is stays unmodified.
    m_view->SetText(QStringLiteral("G0X0\n"));
    m_frame->Action(cmd::kCompactBlocks)->trigger();
    QVERIFY(!m_view->IsModified());
    QVERIFY(!m_view->document()->isUndoAvailable());
    // An empty program offers no tool.
    m_view->SetText({});
    m_frame->UpdateCommandStates();
    QVERIFY(!m_frame->Action(cmd::kRenumberBlocks)->isEnabled());
}

void NcToolsTest::aSelectionLimitsTheToolToItsLines() {
    // From the middle of the N20 line to the start of the N40 line: the N20
    // and X30. lines, not the N40 line.
    QTextCursor cursor = m_view->document()->find(QStringLiteral("X10."));
    cursor.setPosition(m_view->document()->find(QStringLiteral("N40")).selectionStart(), QTextCursor::KeepAnchor);
    m_view->setTextCursor(cursor);
    AnswerRenumberDlg(100, 1, 0, true);
    m_frame->Action(cmd::kRenumberBlocks)->trigger();
    QCOMPARE(m_view->Text(),
             QStringLiteral("%\nO0042 (BRACKET  OP20)\n(DRILL 4 HOLES)\nN10 G90 G54\n"
                            "N100 G81 X10. Y10. Z-5. R2. F80 (  PECK  )\nN101 X30.\nN40 G80 M30\n%"));
    // The edited lines stay selected for the next tool.
    QCOMPARE(m_view->textCursor().selectedText(),
             QStringLiteral("N100 G81 X10. Y10. Z-5. R2. F80 (  PECK  )\u2029N101 X30."));
    m_frame->Action(cmd::kSpaceWords)->trigger();
    m_frame->Action(cmd::kCompactBlocks)->trigger();
    QVERIFY(m_view->Text().contains(QStringLiteral("\nN10 G90 G54\nN100G81X10.Y10.Z-5.R2.F80(  PECK  )\nN101X30.\n")));
    m_frame->Action(cmd::kEditUndo)->trigger();
    m_frame->Action(cmd::kEditUndo)->trigger();
    m_frame->Action(cmd::kEditUndo)->trigger();
    QCOMPARE(m_view->Text(), kProgram);
}

void NcToolsTest::renumberRemembersItsChoice() {
    AnswerRenumberDlg(5, 5, 4, false);
    m_frame->Action(cmd::kRenumberBlocks)->trigger();
    QVERIFY(m_view->Text().contains(QStringLiteral("N0005 G90 G54\nN0010 G81")));
    QVERIFY(m_view->Text().contains(QStringLiteral("\nX30.\nN0015 G80 M30")));
    QCOMPARE(test::ProfileEntry(QStringLiteral("Renumber/Start")).toInt(), 5);
    QCOMPARE(test::ProfileEntry(QStringLiteral("Renumber/Digits")).toInt(), 4);
    QVERIFY(!test::ProfileValue(QStringLiteral("Start")).isValid());

    // The next dialog starts with that choice; a block that jumps is a warning.
    m_view->SetText(QStringLiteral("N1 #1=#1+1\nN2 IF[#1LT5]GOTO1\nN3 M30\n"));
    QTimer::singleShot(0, [] {
        auto* dlg = qobject_cast<CRenumberDlg*>(QApplication::activeModalWidget());
        QVERIFY(dlg);
        QCOMPARE(dlg->Options().start, 5);
        QCOMPARE(dlg->Options().width, 4);
        test::SaveScreenshot(dlg, QStringLiteral("renumber-dialog"));
        dlg->accept();
    });
    m_frame->Action(cmd::kRenumberBlocks)->trigger();
    QCOMPARE(m_view->Text(), QStringLiteral("N0005 #1=#1+1\nN0010 IF[#1LT5]GOTO1\nN0015 M30\n"));
    QCOMPARE(int(m_prompts.messages.size()), 1);
    QVERIFY(m_prompts.messages.front().text.startsWith(QStringLiteral("1 block(s) jump")));

    // Numbers wider than the digits asked for are written and said; numbers
    // no control holds are not written, and the reason is said.
    m_prompts.messages.clear();
    m_view->SetText(QStringLiteral("N1 G0\nN2 G1\nN3 M30\n"));
    AnswerRenumberDlg(9990, 5, 4, false);
    m_frame->Action(cmd::kRenumberBlocks)->trigger();
    QCOMPARE(m_view->Text(), QStringLiteral("N9990 G0\nN9995 G1\nN10000 M30\n"));
    QCOMPARE(int(m_prompts.messages.size()), 1);
    QCOMPARE(m_prompts.messages.front().text,
             QStringLiteral("The block numbers outgrow 4 digits from N10000 on; the last is N10000."));
    m_prompts.messages.clear();
    AnswerRenumberDlg(999999990, 5, 0, false);
    m_frame->Action(cmd::kRenumberBlocks)->trigger();
    QCOMPARE(m_view->Text(), QStringLiteral("N9990 G0\nN9995 G1\nN10000 M30\n"));
    QCOMPARE(int(m_prompts.messages.size()), 1);
    QVERIFY2(m_prompts.messages.front().text.startsWith(QStringLiteral("The last block would be N1000000000, but")),
             qPrintable(m_prompts.messages.front().text));
}

// A tool on the whole program leaves nothing selected for the next key to
// replace: the caret keeps its line and column, or the line's end where the
// line became shorter.
void NcToolsTest::theCaretStaysWhereItWas() {
    QTextCursor caret(m_view->document()->findBlockByNumber(4));  // "N20 G81 X10. ..."
    caret.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 8);
    m_view->setTextCursor(caret);
    AnswerRenumberDlg(1000, 10, 0, false);
    m_frame->Action(cmd::kRenumberBlocks)->trigger();
    QVERIFY(m_view->Text().contains(QStringLiteral("\nN1010 G81 X10.")));
    QVERIFY(!m_view->textCursor().hasSelection());
    QCOMPARE(m_view->textCursor().blockNumber(), 4);
    QCOMPARE(m_view->textCursor().positionInBlock(), 8);
    QTest::keyClick(m_view, Qt::Key_Delete);
    QVERIFY2(m_view->Text().contains(QStringLiteral("\nN1010 G8 X10.")), qPrintable(m_view->Text()));
    QVERIFY(m_view->Text().startsWith(QStringLiteral("%\nO0042 (BRACKET  OP20)\n")));

    m_view->moveCursor(QTextCursor::End);
    m_view->moveCursor(QTextCursor::Up);
    m_view->moveCursor(QTextCursor::EndOfLine);  // "N1020 G80 M30", column 13
    m_frame->Action(cmd::kRemoveBlockNumbers)->trigger();
    QVERIFY(!m_view->textCursor().hasSelection());
    QCOMPARE(m_view->textCursor().block().text(), QStringLiteral("G80 M30"));
    QCOMPARE(m_view->textCursor().positionInBlock(), 7);
}

QTEST_MAIN(NcToolsTest)
#include "NcToolsTest.moc"
