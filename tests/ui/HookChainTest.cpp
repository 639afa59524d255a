// The chain of hooks on a window's events: the hook installed last sees an
// event first; each passes it on or keeps it; unhooking from the top, the
// middle or the bottom leaves the others working; the window's end releases
// every hook.

#include <QApplication>
#include <QEvent>
#include <QTest>
#include <QWidget>
#include <memory>
#include <string>

#include "ui/SubclassWnd.h"

using namespace quorlin;

namespace {

const QEvent::Type kProbe = QEvent::Type(QEvent::registerEventType());

// Writes its name into a shared trail for each probe it sees.
class Hook : public CSubclassWnd {
public:
    Hook(char name, std::string& trail, bool keeps = false) : m_name(name), m_trail(trail), m_keeps(keeps) {}

protected:
    bool WindowProc(QEvent* event) override {
        if (event->type() != kProbe) return PassOn(event);
        m_trail += m_name;
        return m_keeps || PassOn(event);
    }

private:
    char m_name;
    std::string& m_trail;
    bool m_keeps;
};

// The window writes 'W' when the event reaches its own handling.
class Window : public QWidget {
public:
    explicit Window(std::string& trail) : m_trail(trail) {}

protected:
    bool event(QEvent* event) override {
        if (event->type() == kProbe) {
            m_trail += 'W';
            return true;
        }
        return QWidget::event(event);
    }

private:
    std::string& m_trail;
};

}  // namespace

class HookChainTest : public QObject {
    Q_OBJECT

    std::string m_trail;

    QString Probe(QWidget* window) {
        m_trail.clear();
        QEvent probe(kProbe);
        QCoreApplication::sendEvent(window, &probe);
        return QString::fromStdString(m_trail);
    }

private slots:
    void theLatestHookSeesAnEventFirst() {
        Window window(m_trail);
        Hook a('A', m_trail), b('B', m_trail), c('C', m_trail);
        QCOMPARE(Probe(&window), QStringLiteral("W"));
        a.HookWindow(&window);
        b.HookWindow(&window);
        c.HookWindow(&window);
        QCOMPARE(Probe(&window), QStringLiteral("CBAW"));
        QVERIFY(a.IsHooked() && b.IsHooked() && c.IsHooked());
        QCOMPARE(b.HookedWindow(), &window);
    }

    void unhookingFromTheMiddleLeavesTheOthersWorking() {
        Window window(m_trail);
        Hook a('A', m_trail), b('B', m_trail), c('C', m_trail), d('D', m_trail);
        for (Hook* hook : {&a, &b, &c, &d}) hook->HookWindow(&window);
        c.Unhook();
        QVERIFY(!c.IsHooked());
        QCOMPARE(Probe(&window), QStringLiteral("DBAW"));
        b.Unhook();
        QCOMPARE(Probe(&window), QStringLiteral("DAW"));
        // A hook may come back, and goes to the front again.
        c.HookWindow(&window);
        QCOMPARE(Probe(&window), QStringLiteral("CDAW"));
    }

    void unhookingTheTopAndTheBottom() {
        Window window(m_trail);
        Hook a('A', m_trail), b('B', m_trail), c('C', m_trail);
        for (Hook* hook : {&a, &b, &c}) hook->HookWindow(&window);
        c.Unhook();
        QCOMPARE(Probe(&window), QStringLiteral("BAW"));
        a.Unhook();
        QCOMPARE(Probe(&window), QStringLiteral("BW"));
        b.Unhook();
        QCOMPARE(Probe(&window), QStringLiteral("W"));
        a.HookWindow(&window);
        QCOMPARE(Probe(&window), QStringLiteral("AW"));
    }

    void aHookThatKeepsAnEventStopsIt() {
        Window window(m_trail);
        Hook a('A', m_trail), keeper('K', m_trail, true), c('C', m_trail);
        for (Hook* hook : {&a, &keeper, &c}) hook->HookWindow(&window);
        QCOMPARE(Probe(&window), QStringLiteral("CK"));
        keeper.Unhook();
        QCOMPARE(Probe(&window), QStringLiteral("CAW"));
    }

    void aHookEndingUnhooksItself() {
        Window window(m_trail);
        Hook a('A', m_trail), c('C', m_trail);
        a.HookWindow(&window);
        {
            Hook b('B', m_trail);
            b.HookWindow(&window);
            c.HookWindow(&window);
            QCOMPARE(Probe(&window), QStringLiteral("CBAW"));
        }
        QCOMPARE(Probe(&window), QStringLiteral("CAW"));
    }

    void hooksOnTwoWindowsAreSeparate() {
        Window first(m_trail), second(m_trail);
        Hook a('A', m_trail), b('B', m_trail);
        a.HookWindow(&first);
        b.HookWindow(&second);
        QCOMPARE(Probe(&first), QStringLiteral("AW"));
        QCOMPARE(Probe(&second), QStringLiteral("BW"));
        // Moving a hook releases the first window.
        a.HookWindow(&second);
        QCOMPARE(Probe(&first), QStringLiteral("W"));
        QCOMPARE(Probe(&second), QStringLiteral("ABW"));
    }

    void theWindowsEndReleasesEveryHook() {
        Hook a('A', m_trail), b('B', m_trail);
        auto window = std::make_unique<Window>(m_trail);
        a.HookWindow(window.get());
        b.HookWindow(window.get());
        window.reset();
        QVERIFY(!a.IsHooked());
        QVERIFY(!b.IsHooked());
        QCOMPARE(a.HookedWindow(), nullptr);
        // Unhooking after the window is gone does nothing harmful.
        b.Unhook();
        a.Unhook();
    }

    void realEventsPassThroughToTheWindow() {
        // A hooked window still resizes and paints as before.
        Window window(m_trail);
        Hook a('A', m_trail), b('B', m_trail);
        a.HookWindow(&window);
        b.HookWindow(&window);
        window.resize(120, 80);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.resize(200, 90);
        QTRY_COMPARE(window.size(), QSize(200, 90));
    }
};

QTEST_MAIN(HookChainTest)
#include "HookChainTest.moc"
