#include "tests/transfer/qt/TransferUiSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <cstring>

#include "serial/SerialOwner.h"
#include "transfer/qt/CommView.h"

namespace quorlin::test {

// ---- ScriptedPort ----

bool ScriptedPort::Open(ISerialOwner* owner, unsigned, unsigned) {
    std::lock_guard<std::mutex> lock(m_state.mutex);
    ++m_state.opens;
    m_state.owner = owner;
    m_state.open = m_state.openResult;
    return m_state.open;
}

void ScriptedPort::Close() {
    std::lock_guard<std::mutex> lock(m_state.mutex);
    m_state.open = false;
}

bool ScriptedPort::IsOpen() const {
    std::lock_guard<std::mutex> lock(m_state.mutex);
    return m_state.open;
}

bool ScriptedPort::Write(const void* data, uint32_t length) {
    std::lock_guard<std::mutex> lock(m_state.mutex);
    m_state.written.append(static_cast<const char*>(data), length);
    return m_state.open;
}

bool ScriptedPort::WriteString(const char* text) { return Write(text, static_cast<uint32_t>(std::strlen(text))); }

uint32_t ScriptedPort::Read(void* buffer, uint32_t maximum) {
    std::lock_guard<std::mutex> lock(m_state.mutex);
    const uint32_t count = static_cast<uint32_t>(std::min<size_t>(maximum, m_state.input.size()));
    std::memcpy(buffer, m_state.input.data(), count);
    m_state.input.erase(0, count);
    return count;
}

void ScriptedPort::Purge() {
    std::lock_guard<std::mutex> lock(m_state.mutex);
    m_state.input.clear();
}

void FeedAndPost(ScriptedPort::State& state, const std::string& bytes) {
    ISerialOwner* owner = nullptr;
    intptr_t waiting = 0;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.input += bytes;
        owner = state.owner;
        waiting = static_cast<intptr_t>(state.input.size());
    }
    if (owner) owner->Post(WM_SERIAL_RXDATA, 1, waiting);
}

// ---- Simulator ----

extern "C" char** environ;

Simulator::Simulator() {
    QDir(m_folder.path()).mkpath(QStringLiteral("ports"));
    QDir(m_folder.path()).mkpath(QStringLiteral("store"));
    qputenv("QUORLIN_PORTS", QFile::encodeName(m_folder.path() + QStringLiteral("/ports")));
}

Simulator::~Simulator() {
    if (!m_process) return;
    m_process->WriteLine("quit");
    m_process->CloseInput();
    m_session.WaitForExit(*m_process, e2e::After());
    m_session.Remove(*m_process);
}

bool Simulator::Start(int family, const QStringList& extra) {
    m_family = family;
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry)
        if (std::strncmp(*entry, "QUORLIN_PORTS=", 14) != 0) env.emplace_back(*entry);
    env.push_back("QUORLIN_PORTS=" + QFile::encodeName(m_folder.path() + QStringLiteral("/ports")).toStdString());
    std::vector<std::string> argv{QUORLIN_SIM_PATH, "--family", std::to_string(family), "--com", "1", "--store",
                                  QFile::encodeName(m_folder.path() + QStringLiteral("/store")).toStdString()};
    for (const QString& word : extra) argv.push_back(word.toStdString());
    m_process = std::make_unique<e2e::Process>(argv, env, "quorlin-sim");
    if (!m_process->Started()) return false;
    m_session.Add(*m_process);
    return !Reports(QStringLiteral("ready COM1")).isEmpty();
}

QString Simulator::Output() const { return m_process ? QString::fromStdString(m_process->Out()) : QString(); }

QString Simulator::Reports(const QString& text, int timeoutMs) {
    if (!m_process) return QString();
    const std::string wanted = text.toStdString();
    std::string line;
    auto found = [&] {
        m_process->Pump();
        const std::string& out = m_process->Out();
        for (;;) {
            const std::size_t end = out.find('\n', m_seen);
            if (end == std::string::npos) return false;
            const std::string candidate = out.substr(m_seen, end - m_seen);
            m_seen = end + 1;
            if (candidate.find(wanted) != std::string::npos) {
                line = candidate;
                return true;
            }
        }
    };
    if (!QTest::qWaitFor(found, timeoutMs)) {
        qWarning().noquote() << "quorlin-sim did not report" << text << "; it reported:\n"
                             << Output().left(4000) << QString::fromStdString(m_process->Err()).left(2000);
        return QString();
    }
    return QString::fromStdString(line);
}

QString Simulator::Command(const QString& command, const QString& answer) {
    if (!m_process) return QString();
    m_process->WriteLine(command.toStdString());
    return Reports(answer);
}

QString Simulator::WriteFile(const QString& name, const QByteArray& bytes) const {
    const QString path = m_folder.path() + QLatin1Char('/') + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
    return path;
}

QByteArray Simulator::ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Simulator::StoredPath(const QString& line) {
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return words.size() >= 3 ? words[2] : QString();
}

CommSettings Simulator::Settings() const {
    CommSettings settings;
    settings.commPort = 0;
    settings.portList = {1, 0, 0, 0, 0};
    settings.sysType = m_family;
    settings.baudRate = 0;
    settings.baud = settings.BaudForIndex(0);
    return settings;
}

// ---- MessageBoxWatcher ----

namespace {
constexpr int kWatchIntervalMs = 20;
}

MessageBoxWatcher::MessageBoxWatcher(QObject* parent) : QObject(parent) {
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxWatcher::Look);
    m_timer.start(kWatchIntervalMs);
}

void MessageBoxWatcher::Look() {
    if (m_bLooking) return;  // WhileShown may run an event loop of its own
    m_bLooking = true;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box || !box->isVisible()) continue;
        m_seen.push_back(Seen{box->text(), box->informativeText(), box->windowTitle(), box->icon(), box->parentWidget(),
                              box->windowModality() == Qt::ApplicationModal});
        if (m_whileShown) m_whileShown();
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }
    m_bLooking = false;
}

bool MessageBoxWatcher::WaitForBoxes(int count, int timeoutMs) {
    return QTest::qWaitFor([&] { return m_seen.size() >= count; }, timeoutMs);
}

// ---- Pictures ----

QByteArray LongProgram(int lines) {
    QByteArray text;
    for (int i = 1; i <= lines; ++i)
        text += "N" + QByteArray::number(i) + "G01X" + QByteArray::number(i % 500) + "Y7\n";
    return text;
}

bool EndsWithEndLine(const QString& log, const QString& endMessage) {
    return QRegularExpression(QStringLiteral("   ") + QRegularExpression::escape(endMessage) +
                              QStringLiteral("\r\n[^\r\n]* bytes/s\\)\r\n$"))
        .match(log)
        .hasMatch();
}

bool ViewStage::Start(int family, const QStringList& extra) {
    if (!sim.Start(family, extra)) return false;
    settings = sim.Settings();
    session = std::make_unique<TransferSession>(settings);
    view = new CCommView(*session);
    main.setCentralWidget(view);
    main.setGeometry(m_place);
    main.show();
    return QTest::qWaitForWindowExposed(&main);
}

}  // namespace quorlin::test
