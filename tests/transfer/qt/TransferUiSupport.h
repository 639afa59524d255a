#pragma once
// What the tests of the transfer's Qt layer share: a port played by the test,
// quorlin-sim on a real pseudo-terminal in a ports folder of its own, and a
// watcher that answers message boxes so that none blocks a test.

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QVector>
#include <deque>
#include <memory>
#include <functional>
#include <mutex>
#include <string>

#include "tests/support/Screenshot.h"
#include "tests/support/Process.h"
#include "transfer/CommSettings.h"
#include "transfer/TransferPort.h"
#include "transfer/qt/TransferSession.h"

namespace quorlin {
class CCommView;
}

namespace quorlin::test {

// Generous: only a failing test waits this long.
constexpr int kWaitMs = 20000;

// A port whose controller is the test: it keeps the owner it was opened
// with, so the test can post as the port's threads do, serves the bytes the
// test feeds and records what the engine writes. Safe from any thread.
class ScriptedPort final : public ITransferPort {
public:
    struct State {
        std::mutex mutex;
        ISerialOwner* owner = nullptr;
        bool openResult = true;
        bool open = false;
        std::string input;
        std::string written;
        int opens = 0;
    };

    explicit ScriptedPort(State& state) : m_state(state) {}
    bool Open(ISerialOwner* owner, unsigned, unsigned) override;
    void Init(unsigned, uint8_t, uint8_t, uint8_t, uint8_t, uint32_t) override {}
    bool StartMonitoring() override { return true; }
    void Close() override;
    bool IsOpen() const override;
    bool Write(const void* data, uint32_t length) override;
    bool WriteString(const char* text) override;
    uint32_t Read(void* buffer, uint32_t maximum) override;
    void Purge() override;
    void Flush() override {}

private:
    State& m_state;
};

// Feeds bytes as the controller and posts WM_SERIAL_RXDATA as the reader
// thread would.
void FeedAndPost(ScriptedPort::State& state, const std::string& bytes);

// quorlin-sim playing a controller of `family` on COM1 of a ports folder of
// its own, which is made the test process's whole port map (QUORLIN_PORTS).
// Started with posix_spawn (a fork of a threaded process is not allowed
// under ThreadSanitizer); its output is read while the test's event loop runs.
class Simulator {
public:
    Simulator();
    ~Simulator();

    bool Start(int family, const QStringList& extra = {});
    // Gives a command and waits for a report line containing `answer`.
    QString Command(const QString& command, const QString& answer);
    // Waits for the next report line (after those already waited for)
    // containing `text`; empty on time-out.
    QString Reports(const QString& text, int timeoutMs = kWaitMs);
    QString Output() const;
    QString Folder() const { return m_folder.path(); }
    QString WriteFile(const QString& name, const QByteArray& bytes) const;
    static QByteArray ReadFile(const QString& path);
    // The path of a "stored ... PATH ..." report line.
    static QString StoredPath(const QString& line);

    // Settings that name COM1 and the family.
    CommSettings Settings() const;

private:
    QTemporaryDir m_folder;
    std::unique_ptr<e2e::Process> m_process;
    e2e::Session m_session;
    std::size_t m_seen = 0;
    int m_family = 0;
};

// A main window at place with the log view, hosting a session on the
// simulator's COM1.
struct ViewStage {
    explicit ViewStage(QRect place) : m_place(place) {}
    // Starts the simulator as family and shows the window; false when either fails.
    bool Start(int family, const QStringList& extra = {});
    QString Log() const { return QString::fromStdString(session->Log().Text()); }

    Simulator sim;
    CommSettings settings;
    std::unique_ptr<TransferSession> session;
    QMainWindow main;
    CCommView* view = nullptr;

private:
    QRect m_place;
};

// Answers every message box that appears, pressing its OK button, and
// remembers what it showed.
class MessageBoxWatcher : public QObject {
    Q_OBJECT
public:
    struct Seen {
        QString text;
        QString detail;  // the informative text under it
        QString caption;
        QMessageBox::Icon icon;
        QWidget* parent;
        bool modal;
    };
    explicit MessageBoxWatcher(QObject* parent = nullptr);
    const QVector<Seen>& Boxes() const { return m_seen; }
    // Runs while a box is up, before it is answered (inside the box's own
    // event loop).
    void WhileShown(std::function<void()> action) { m_whileShown = std::move(action); }
    bool WaitForBoxes(int count, int timeoutMs = kWaitMs);

private:
    void Look();
    QTimer m_timer;
    QVector<Seen> m_seen;
    std::function<void()> m_whileShown;
    bool m_bLooking = false;
};


// A long NC program of `lines` lines ending in LF.
QByteArray LongProgram(int lines);

// The log ends with the end line "   <endMessage>" and then the line that
// says what the transfer carried.
bool EndsWithEndLine(const QString& log, const QString& endMessage);

}  // namespace quorlin::test
