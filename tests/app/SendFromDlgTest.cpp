// Operation > Send from Block through the real main window: the box offers
// the caret's block, refuses a number the program lacks, is worked by the
// keyboard alone, and the controller on a pty stores the program's start and
// the rest from that block.

#include <QAbstractButton>
#include <QAction>
#include <QKeySequence>
#include <QMap>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QSet>
#include <memory>

#include "app/MainFrame.h"
#include "app/QuorlinDoc.h"
#include "app/QuorlinView.h"
#include "app/SendFromDlg.h"
#include "res/CommandIds.h"
#include "tests/app/AppTestSupport.h"
#include "tests/transfer/qt/TransferUiSupport.h"
#include "transfer/qt/CommView.h"
#include "transfer/qt/TransferSession.h"

using namespace quorlin;

class SendFromDlgTest : public QObject {
    Q_OBJECT
private slots:
    void resumesAtTheChosenBlockBehindTheStart();

private:
    // Works the box by keyboard; checked once every check passed.
    void DriveTheBox(CSendFromDlg* box, bool& checked);
};

void SendFromDlgTest::DriveTheBox(CSendFromDlg* box, bool& checked) {
    QCOMPARE(box->windowTitle(), QStringLiteral("Send from Block"));
    auto* byBlock = box->findChild<QRadioButton*>(QStringLiteral("byBlock"));
    auto* byLine = box->findChild<QRadioButton*>(QStringLiteral("byLine"));
    auto* send = box->findChild<QPushButton*>(QStringLiteral("send"));
    // The caret's block is offered, the number ready to be typed over.
    QVERIFY(byBlock->isChecked());
    QCOMPARE(box->NumberBox()->text(), QStringLiteral("30"));
    QVERIFY(QTest::qWaitForWindowActive(box));
    QTRY_COMPARE(QApplication::focusWidget(), box->NumberBox());
    QVERIFY(box->Outcome()->text().contains(QStringLiteral("line 5 on: N0030 x10")));
    test::SaveScreenshot(box, QStringLiteral("send-from-block"));

    // Every control has a name and Tab reaches each of them.
    QSet<QWidget*> reached;
    for (int i = 0; i < 8; ++i) {
        reached.insert(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // (Tab enters the two choices at the checked one; the arrow keys move
    // between them, as below.)
    for (QWidget* control : std::initializer_list<QWidget*>{byBlock, byLine, box->NumberBox(), box->Outcome(), send}) {
        QVERIFY2(control == byLine || reached.contains(control), qPrintable(control->objectName()));
        const QString name = control->accessibleName().isEmpty() ? control->property("text").toString()
                                                                 : control->accessibleName();
        QVERIFY2(!name.isEmpty(), qPrintable(control->objectName()));
    }

    // Each mnemonic is one control's: Alt and its letter go straight there.
    QMap<QKeySequence, QWidget*> mnemonics;
    for (QAbstractButton* button : box->findChildren<QAbstractButton*>()) {
        const QKeySequence key = QKeySequence::mnemonic(button->text());
        if (key.isEmpty()) continue;
        QVERIFY2(!mnemonics.contains(key), qPrintable(key.toString()));
        mnemonics.insert(key, button);
    }
    for (QLabel* label : box->findChildren<QLabel*>()) {
        const QKeySequence key = QKeySequence::mnemonic(label->text());
        if (key.isEmpty() || !label->buddy()) continue;
        QVERIFY2(!mnemonics.contains(key), qPrintable(key.toString()));
        mnemonics.insert(key, label->buddy());
    }
    QVERIFY(mnemonics.values().contains(box->NumberBox()));
    byBlock->setFocus();
    QTest::keySequence(box, mnemonics.key(box->NumberBox()));
    QCOMPARE(QApplication::focusWidget(), box->NumberBox());

    // A block the program lacks: said at once, and nothing can be sent.
    box->NumberBox()->setFocus();
    box->NumberBox()->selectAll();
    QTest::keyClicks(box->NumberBox(), QStringLiteral("35"));
    QCOMPARE(box->Outcome()->text(), QStringLiteral("Block N35 is not in the program."));
    QVERIFY(!send->isEnabled());
    QTest::keyClick(box->NumberBox(), Qt::Key_Return);
    QVERIFY(box->isVisible());
    // As a line it is there neither; line 5 is.
    byBlock->setFocus();
    QTest::keyClick(byBlock, Qt::Key_Down);
    QVERIFY(byLine->isChecked());
    QCOMPARE(box->Outcome()->text(), QStringLiteral("Line 35 is not in the program: it has 8 lines."));
    QTest::keyClick(byLine, Qt::Key_Up);
    QVERIFY(byBlock->isChecked());
    box->NumberBox()->setFocus();
    box->NumberBox()->selectAll();
    QTest::keyClicks(box->NumberBox(), QStringLiteral("30"));
    QVERIFY(send->isEnabled());
    checked = true;
    QTest::keyClick(box->NumberBox(), Qt::Key_Return);
}

void SendFromDlgTest::resumesAtTheChosenBlockBehindTheStart() {
    test::ClearProfile();
    test::Simulator sim;
    QVERIFY(sim.Start(1));  // Block protocol
    test::SetProfileValue("SysType", 1);
    test::FakePrompts prompts;
    CMainFrame frame(prompts);
    frame.Document().NewDocument();
    frame.show();
    frame.GetCommView()->OnInitialUpdate();
    CQuorlinView* editor = frame.GetEditorView();
    editor->SetText(QStringLiteral("%\nO1234 (BRACKET)\nN10 G90 G00 X0\nN20 g01 x5\nN0030 x10\n\n+N40 M30\n%\n"));
    QTextCursor caret(editor->document()->findBlockByNumber(4));
    editor->setTextCursor(caret);

    bool checked = false;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<CSendFromDlg*>(QApplication::activeModalWidget());
        QVERIFY(box);
        DriveTheBox(box, checked);
        // A failed check leaves the box open: close it, so that the test ends.
        if (!checked && box->isVisible()) box->reject();
    });
    QSignalSpy shown(&frame.Session(), &TransferSession::progressCreated);
    frame.Action(cmd::kSendFromBlock)->trigger();
    QVERIFY(checked);
    QCOMPARE(shown.size(), 1);

    const QString stored = sim.Reports(QStringLiteral("stored program"));
    QVERIFY2(!stored.isEmpty(), qPrintable(sim.Output()));
    QCOMPARE(test::Simulator::ReadFile(test::Simulator::StoredPath(stored)),
             QByteArray("%\nO1234(BRACKET)\nN0030X10\n+N40M30\n%\n\n"));
    QTRY_VERIFY_WITH_TIMEOUT(!frame.Session().IsBusy(), 10000);
    frame.GetCommView()->ShowPendingLog();
    const QString log = frame.GetCommView()->toPlainText();
    QVERIFY2(log.contains(QStringLiteral("Begin to send current opened file\nSending from block N0030, line 5 of the "
                                         "program\n")),
             qPrintable(log));
    QVERIFY2(log.contains(QStringLiteral("File sending completed")), qPrintable(log));
    test::SaveScreenshot(&frame, QStringLiteral("send-from-block-log"));
    QVERIFY(prompts.messages.empty());
}

QTEST_MAIN(SendFromDlgTest)
#include "SendFromDlgTest.moc"
