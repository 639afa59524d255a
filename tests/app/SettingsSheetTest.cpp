// The "Settings" sheet and its "Property" page: the lists, their rules, what
// OK writes and what Cancel leaves alone; and, through the main window with
// pty ports, that the sheet and the transfers always name the same port.

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/CommProp.h"
#include "app/MainFrame.h"
#include "app/QuorlinDoc.h"
#include "app/QuorlinView.h"
#include "transfer/PortChoice.h"
#include "profile/Profile.h"
#include "res/CommandIds.h"
#include "serial/SerialPort.h"
#include "tests/app/AppTestSupport.h"
#include "transfer/SystemType.h"
#include "transfer/qt/TransferSession.h"

using namespace quorlin;

namespace {

QStringList Rows(const QComboBox* list) {
    QStringList rows;
    for (int i = 0; i < list->count(); ++i) rows << list->itemText(i);
    return rows;
}

}  // namespace

class SettingsSheetTest : public test::FrameTestBase {
    Q_OBJECT
private slots:
    void init() {
        test::ClearProfile();
        m_closer.closed.clear();
    }
    void cleanup() { EndFrameTest(); }

    void sheetHasOnePropertyPageAndNoApply();
    void portsAreListedInOrderAndStoredByPosition();
    void noPortsStoresMinusOne();
    void baudListFollowsTheFamily();
    void familyWithoutChoiceTo3StoresMinusOne();
    void valuesNamingNoRowLeaveNoSelection();
    void cancelChangesNothing();
    void textServicesOfTheCore();
    void controlsAreNamedAndReachable();
    void aMachineChoosesPortFamilyAndBaud();
    void offeredPortsKeepTheChosenOne();
    void thePortInUseIsListedAndKept_data();
    void thePortInUseIsListedAndKept();
    void aChosenPortSurvivesRestarts();

private:
    // What the Comm list showed when the sheet opened.
    struct CommSeen {
        QStringList rows;
        QString chosen;
    };
    // A main window as the program starts one: profile read, ports probed,
    // window up, its port opened.
    CMainFrame& StartFrame();
    // Runs Tool > Settings, lets change act on the page, then OK.
    CommSeen RunSettings(const std::function<void(CCommProp&)>& change = {});
    // Send Current File of a one-line program; true when its bytes reached
    // port's line and no other port got any.
    bool SendReaches(unsigned port, std::initializer_list<unsigned> others);

    struct Sheet {
        CommSettings settings;
        std::unique_ptr<CSettingsSheet> sheet;
        CCommProp& Page() { return sheet->Page(); }
    };
    std::unique_ptr<Sheet> Open(std::array<int32_t, 5> ports, int commPort, int sysType, int baudRate);
};

std::unique_ptr<SettingsSheetTest::Sheet> SettingsSheetTest::Open(std::array<int32_t, 5> ports, int commPort,
                                                                  int sysType, int baudRate) {
    auto sheet = std::make_unique<Sheet>();
    sheet->settings.portList = ports;
    sheet->sheet = std::make_unique<CSettingsSheet>(sheet->settings, nullptr);
    sheet->Page().commPort = commPort;
    sheet->Page().sysType = sysType;
    sheet->Page().baudRate = baudRate;
    sheet->sheet->show();
    return sheet;
}

void SettingsSheetTest::sheetHasOnePropertyPageAndNoApply() {
    auto sheet = Open({1, 0, 0, 0, 0}, 0, 0, 0);
    QCOMPARE(sheet->sheet->windowTitle(), QStringLiteral("Settings"));
    auto* tabs = sheet->sheet->findChild<QTabWidget*>();
    QCOMPARE(tabs->count(), 1);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Property"));
    auto* buttons = sheet->sheet->findChild<QDialogButtonBox*>();
    QVERIFY(buttons->button(QDialogButtonBox::Ok));
    QVERIFY(buttons->button(QDialogButtonBox::Cancel));
    QVERIFY(!buttons->button(QDialogButtonBox::Apply));
    QCOMPARE(Rows(sheet->Page().SystemTypeList()),
             (QStringList{"5100R,43E,43RP", "43F,43QV,57F,57QV", "P70,P80(V1.0,V1.2)", "57QVA,J4,J5,P70",
                          "L20,L30,L40,L50"}));
    QVERIFY(!sheet->Page().CommList()->isEditable());
    test::SaveScreenshot(sheet->sheet.get(), QStringLiteral("settings-sheet-page"));
}

void SettingsSheetTest::portsAreListedInOrderAndStoredByPosition() {
    auto sheet = Open({1, 3, 10, 0, 0}, 0, 0, 0);
    const QStringList rows = Rows(sheet->Page().CommList());
    QCOMPARE(rows.size(), 3);
    QVERIFY(rows[0].startsWith(QStringLiteral("COM1")));
    QVERIFY(rows[1].startsWith(QStringLiteral("COM3")));
    QVERIFY(rows[2].startsWith(QStringLiteral("COM10")));
    QCOMPARE(PortRows(sheet->settings), rows);
    sheet->Page().CommList()->setCurrentIndex(2);
    sheet->sheet->accept();
    QCOMPARE(sheet->Page().commPort, 2);
    QCOMPARE(ReadProfile(), (StoredSettings{2, 0, -1}));
}

void SettingsSheetTest::noPortsStoresMinusOne() {
    auto sheet = Open({0, 0, 0, 0, 0}, 0, 1, 0);
    QCOMPARE(sheet->Page().CommList()->count(), 0);
    sheet->sheet->accept();
    QCOMPARE(ReadProfile().commPort, -1);
}

void SettingsSheetTest::baudListFollowsTheFamily() {
    auto sheet = Open({1, 0, 0, 0, 0}, 0, 3, 1);
    CCommProp& page = sheet->Page();
    QVERIFY(page.BaudList()->isVisible());
    QVERIFY(page.BaudLabel()->isVisible());
    QCOMPARE(page.BaudLabel()->text(), QStringLiteral("Baud rate:"));
    QCOMPARE(Rows(page.BaudList()), (QStringList{"9600", "115200"}));
    QCOMPARE(page.BaudList()->currentText(), QStringLiteral("115200"));

    page.SystemTypeList()->setCurrentIndex(4);  // carried by position
    QCOMPARE(Rows(page.BaudList()), (QStringList{"9600", "19200"}));
    QCOMPARE(page.BaudList()->currentText(), QStringLiteral("19200"));

    page.SystemTypeList()->setCurrentIndex(0);
    QVERIFY(!page.BaudList()->isVisible());
    QVERIFY(!page.BaudLabel()->isVisible());
    // Hidden, the list keeps its row: OK stores it.
    sheet->sheet->accept();
    QCOMPARE(ReadProfile(), (StoredSettings{0, 0, 1}));
}

void SettingsSheetTest::familyWithoutChoiceTo3StoresMinusOne() {
    auto sheet = Open({1, 0, 0, 0, 0}, 0, 1, 0);
    CCommProp& page = sheet->Page();
    QVERIFY(!page.BaudList()->isVisible());
    page.SystemTypeList()->setCurrentIndex(3);
    QVERIFY(page.BaudList()->isVisible());
    QCOMPARE(page.BaudList()->currentIndex(), -1);
    sheet->sheet->accept();
    QCOMPARE(ReadProfile(), (StoredSettings{0, 3, -1}));
    QCOMPARE(BaudForIndex(3, -1), 9600);
}

void SettingsSheetTest::valuesNamingNoRowLeaveNoSelection() {
    auto sheet = Open({1, 2, 0, 0, 0}, 4, 9, 0);
    QCOMPARE(sheet->Page().CommList()->currentIndex(), -1);
    QCOMPARE(sheet->Page().SystemTypeList()->currentIndex(), -1);
    QVERIFY(!sheet->Page().BaudList()->isVisible());
}

void SettingsSheetTest::cancelChangesNothing() {
    WriteProfile({1, 4, 1});
    auto sheet = Open({1, 2, 0, 0, 0}, 1, 4, 1);
    sheet->Page().CommList()->setCurrentIndex(0);
    sheet->Page().SystemTypeList()->setCurrentIndex(2);
    sheet->sheet->reject();
    QCOMPARE(ReadProfile(), (StoredSettings{1, 4, 1}));
    QCOMPARE(sheet->sheet->result(), int(QDialog::Rejected));
}

void SettingsSheetTest::textServicesOfTheCore() {
    CommSettings settings;
    settings.portList = {2, 0, 0, 0, 0};
    QCOMPARE(GetSystemTypeName(4), std::string("L20,L30,L40,L50"));
    QCOMPARE(GetSystemTypeName(5), std::string());
    QCOMPARE(GetPortName(settings, 0), std::string("COM2"));
    QCOMPARE(GetPortName(settings, 1), std::string());
    QCOMPARE(BaudRows(2), QStringList());
}

void SettingsSheetTest::controlsAreNamedAndReachable() {
    auto sheet = Open({1, 0, 0, 0, 0}, 0, 3, 0);
    CCommProp& page = sheet->Page();
    QCOMPARE(page.CommList()->accessibleName(), QStringLiteral("Comm"));
    QCOMPARE(page.SystemTypeList()->accessibleName(), QStringLiteral("System type"));
    QCOMPARE(page.BaudList()->accessibleName(), QStringLiteral("Baud rate"));
    for (QComboBox* list : {page.CommList(), page.SystemTypeList(), page.BaudList()})
        QVERIFY(list->focusPolicy() & Qt::TabFocus);
    // Tab walks through the three lists in order.
    QVERIFY(QTest::qWaitForWindowActive(sheet->sheet.get()));
    page.CommList()->setFocus();
    QTRY_VERIFY(page.CommList()->hasFocus());
    QTest::keyClick(page.CommList(), Qt::Key_Tab);
    QTRY_VERIFY(page.SystemTypeList()->hasFocus());
    QTest::keyClick(page.SystemTypeList(), Qt::Key_Tab);
    QTRY_VERIFY(page.BaudList()->hasFocus());
}

// The machine row is there only with machines; choosing one by keyboard
// selects its port, family and baud as the lists do, and OK stores those.
void SettingsSheetTest::aMachineChoosesPortFamilyAndBaud() {
    auto sheet = Open({1, 5, 0, 0, 0}, 0, 0, 0);
    CCommProp& page = sheet->Page();
    QVERIFY(!page.MachineList()->isVisible());
    Machine lathe{"Lathe", "COM5", 5, 3, 1, {}, {}};
    Machine mill{"Mill", "/dev/ttyUSB9", 42, 4, 0, {}, {}};
    page.SetMachines({lathe, mill});
    QVERIFY(page.MachineList()->isVisible());
    QCOMPARE(page.MachineList()->accessibleName(), QStringLiteral("Machine"));
    QCOMPARE(Rows(page.MachineList()), (QStringList{"(none)", "Lathe", "Mill"}));

    QVERIFY(QTest::qWaitForWindowActive(sheet->sheet.get()));
    page.MachineList()->setFocus();
    QTRY_VERIFY(page.MachineList()->hasFocus());
    QTest::keyClick(page.MachineList(), Qt::Key_Down);
    QCOMPARE(page.CommList()->currentIndex(), 1);
    QCOMPARE(page.SystemTypeList()->currentIndex(), 3);
    QVERIFY(page.BaudList()->isVisible());
    QCOMPARE(page.BaudList()->currentIndex(), 1);
    QVERIFY(page.MachineNote()->isHidden());
    QTest::keyClick(page.MachineList(), Qt::Key_Tab);
    QTRY_VERIFY(page.CommList()->hasFocus());  // the machine row comes first in the Tab order

    // A port that did not open is said, and the Comm choice stays.
    page.MachineList()->setCurrentIndex(2);
    QCOMPARE(page.SystemTypeList()->currentIndex(), 4);
    QCOMPARE(page.CommList()->currentIndex(), 1);
    QVERIFY(page.MachineNote()->isVisible());
    QVERIFY(page.MachineNote()->text().startsWith(QStringLiteral("/dev/ttyUSB9 of machine Mill is not among")));
    test::SaveScreenshot(sheet->sheet.get(), QStringLiteral("settings-machines"));

    page.MachineList()->setCurrentIndex(1);
    sheet->sheet->accept();
    QVERIFY(sheet->sheet->Stored());
    QCOMPARE(ReadProfile(), (StoredSettings{1, 3, 1}));
}

void SettingsSheetTest::offeredPortsKeepTheChosenOne() {
    QCOMPARE(OfferedPorts({2, 3, 4, 5, 0}, {1}), (PortList{1, 2, 3, 4, 5}));
    QCOMPARE(OfferedPorts({2, 3, 4, 5, 6}, {1}), (PortList{1, 2, 3, 4, 5}));  // the highest found gives way
    QCOMPARE(OfferedPorts({1, 2, 3, 4, 5}, {9, 3}), (PortList{1, 2, 3, 4, 9}));
    QCOMPARE(OfferedPorts({0, 0, 0, 0, 0}, {0}), (PortList{}));
    QCOMPARE(SettledCommPort({2, 3, 4, 5, 0}, 2, 3), 1);
    QCOMPARE(SettledCommPort({2, 3, 4, 5, 0}, 2, 0), 2);  // a profile from before: the place stands
    QCOMPARE(SettledCommPort({2, 3, 4, 5, 0}, 0, 9), -1);
}

CMainFrame& SettingsSheetTest::StartFrame() {
    m_frame = std::make_unique<CMainFrame>(m_prompts);
    m_frame->Document().NewDocument();
    m_frame->show();
    m_frame->InitialUpdate();
    return *m_frame;
}

SettingsSheetTest::CommSeen SettingsSheetTest::RunSettings(const std::function<void(CCommProp&)>& change) {
    CommSeen seen;
    bool ran = false;
    QTimer::singleShot(0, this, [&] {
        auto* sheet = qobject_cast<CSettingsSheet*>(QApplication::activeModalWidget());
        if (!sheet) return;
        ran = true;
        QComboBox* comm = sheet->Page().CommList();
        seen.rows = Rows(comm);
        seen.chosen = comm->currentText();
        if (change) change(sheet->Page());
        sheet->accept();
    });
    m_frame->Action(cmd::kSettings)->trigger();
    if (!ran) qWarning("the Settings sheet did not come up");
    return seen;
}

bool SettingsSheetTest::SendReaches(unsigned port, std::initializer_list<unsigned> others) {
    for (unsigned other : others) m_ports->ReadLine(other);
    m_ports->ReadLine(port);
    m_frame->GetEditorView()->setPlainText(QStringLiteral("G01 X1"));
    m_prompts.answers.push_back(PromptAnswer::Ok);
    m_frame->Action(cmd::kSendCurrentFile)->trigger();
    QByteArray got;
    if (!QTest::qWaitFor([&] { return (got += m_ports->ReadLine(port)).contains("G01X1"); }, 5000)) {
        qWarning("COM%u got %s", port, got.constData());
        return false;
    }
    bool onlyThere = true;
    for (unsigned other : others) {
        if (other == port) continue;
        const QByteArray stray = m_ports->ReadLine(other);
        if (!stray.isEmpty()) {
            qWarning("COM%u got %s as well", other, stray.constData());
            onlyThere = false;
        }
    }
    if (!QTest::qWaitFor([&] { return !m_frame->Session().IsBusy(); }, 5000)) {
        qWarning("the send did not end");
        return false;
    }
    return onlyThere;
}

void SettingsSheetTest::thePortInUseIsListedAndKept_data() {
    QTest::addColumn<QList<unsigned>>("ports");
    QTest::newRow("one controller") << QList<unsigned>{1};
    QTest::newRow("five controllers") << QList<unsigned>{1, 2, 3, 4, 5};
}

// The window holds COM1, which therefore does not open for the sheet's
// probe: the sheet lists it all the same, shows it chosen, and OK without a
// change keeps the program on it.
void SettingsSheetTest::thePortInUseIsListedAndKept() {
    QFETCH(QList<unsigned>, ports);
    m_ports = ports.size() == 1 ? std::make_unique<test::PtyPorts>(std::initializer_list<unsigned>{1})
                                : std::make_unique<test::PtyPorts>(std::initializer_list<unsigned>{1, 2, 3, 4, 5});
    test::SetProfileValue(QStringLiteral("SysType"), 1);
    CMainFrame& frame = StartFrame();
    QCOMPARE(frame.GetPortNumber(), 1u);

    const CommSeen seen = RunSettings();
    QCOMPARE(seen.rows.size(), ports.size());
    QVERIFY2(seen.chosen.startsWith(QStringLiteral("COM1 ")), qPrintable(seen.chosen));
    QCOMPARE(frame.GetPortNumber(), 1u);
    QCOMPARE(test::ProfileValue(QStringLiteral("CommPort")).toInt(), 0);
    QCOMPARE(test::ProfileEntry(QStringLiteral("ChosenPort/Number")).toInt(), 1);
    QVERIFY(m_closer.closed.isEmpty());  // no "Can not open COM0 !"
    QVERIFY(SendReaches(1, {1, 2, 3, 4, 5}));
}

// COM3 chosen while the window holds COM1; the program ends and starts
// again, first with every port free (the list has moved by one), then with
// COM1 held by another program (it has moved back): each time the program
// and its sheet are on COM3, and the program goes to COM3's controller.
// With COM3 itself held elsewhere, COM3 is still the port named, and the
// transfer says it cannot be opened rather than going to another machine.
void SettingsSheetTest::aChosenPortSurvivesRestarts() {
    m_ports = std::make_unique<test::PtyPorts>(std::initializer_list<unsigned>{1, 2, 3, 4, 5});
    test::SetProfileValue(QStringLiteral("SysType"), 1);
    StartFrame();
    RunSettings([](CCommProp& page) {
        const int row = page.CommList()->findText(QStringLiteral("COM3 "), Qt::MatchStartsWith);
        page.CommList()->setCurrentIndex(row);
    });
    QCOMPARE(m_frame->GetPortNumber(), 3u);
    m_frame.reset();

    StartFrame();
    QCOMPARE(m_frame->GetPortNumber(), 3u);
    QVERIFY2(RunSettings().chosen.startsWith(QStringLiteral("COM3 ")), "after a restart");
    QVERIFY(SendReaches(3, {1, 2, 3, 4, 5}));
    m_frame.reset();

    CSerialPort otherProgram(1024);
    QVERIFY(otherProgram.Open(nullptr, 1, 0));
    StartFrame();
    QCOMPARE(m_frame->GetPortNumber(), 3u);
    const CommSeen seen = RunSettings();
    QVERIFY2(seen.chosen.startsWith(QStringLiteral("COM3 ")), qPrintable(seen.rows.join(',')));
    QVERIFY(SendReaches(3, {2, 3, 4, 5}));
    m_frame.reset();
    otherProgram.Close();

    QVERIFY(otherProgram.Open(nullptr, 3, 0));
    StartFrame();
    QCOMPARE(m_frame->GetPortNumber(), 3u);
    QVERIFY2(m_closer.closed.contains(QStringLiteral("Can not open COM3 !")), qPrintable(m_closer.closed.join('|')));
    for (unsigned other : {1u, 2u, 4u, 5u}) QVERIFY(m_ports->ReadLine(other).isEmpty());
    m_frame.reset();
    otherProgram.Close();
}

QTEST_MAIN(SettingsSheetTest)
#include "SettingsSheetTest.moc"
