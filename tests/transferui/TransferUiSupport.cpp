#include "tests/transferui/TransferUiSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <cstring>

#include "serial/SerialOwner.h"

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

Simulator::Simulator() {
    QDir(m_folder.path()).mkpath(QStringLiteral("ports"));
    QDir(m_folder.path()).mkpath(QStringLiteral("store"));
    qputenv("QUORLIN_PORTS", QFile::encodeName(m_folder.path() + QStringLiteral("/ports")));
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput,
                     [this] { m_output += QString::fromLocal8Bit(m_process.readAllStandardOutput()); });
}

Simulator::~Simulator() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.write("quit\n");
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(kWaitMs)) m_process.kill();
        m_process.waitForFinished(kWaitMs);
    }
}

bool Simulator::Start(int family, const QStringList& extra) {
    m_family = family;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUORLIN_PORTS"), m_folder.path() + QStringLiteral("/ports"));
    m_process.setProcessEnvironment(env);
    QStringList args{QStringLiteral("--family"), QString::number(family), QStringLiteral("--com"),
                     QStringLiteral("1"), QStringLiteral("--store"), m_folder.path() + QStringLiteral("/store")};
    args += extra;
    m_process.start(QStringLiteral(QUORLIN_SIM_PATH), args);
    if (!m_process.waitForStarted(kWaitMs)) return false;
    return !Reports(QStringLiteral("ready COM1")).isEmpty();
}

QString Simulator::Reports(const QString& text, int timeoutMs) {
    QString line;
    auto found = [&] {
        for (;;) {
            const qsizetype end = m_output.indexOf(QLatin1Char('\n'), m_seen);
            if (end < 0) return false;
            const QString candidate = m_output.mid(m_seen, end - m_seen);
            m_seen = end + 1;
            if (candidate.contains(text)) {
                line = candidate;
                return true;
            }
        }
    };
    if (!QTest::qWaitFor(found, timeoutMs)) {
        qWarning().noquote() << "quorlin-sim did not report" << text << "; it reported:\n" << m_output.left(4000);
        return QString();
    }
    return line;
}

QString Simulator::Command(const QString& command, const QString& answer) {
    m_process.write((command + QLatin1Char('\n')).toLocal8Bit());
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

void SaveScreenshot(QWidget* widget, const QString& fileName) {
    const QByteArray folder = qgetenv("QUORLIN_SCREENSHOT_DIR");
    if (folder.isEmpty() || !widget) return;
    QDir().mkpath(QFile::decodeName(folder));
    const QString path = QFile::decodeName(folder) + QLatin1Char('/') + fileName;
    if (!widget->grab().save(path)) qWarning().noquote() << "cannot save" << path;
}

QByteArray LongProgram(int lines) {
    QByteArray text;
    for (int i = 1; i <= lines; ++i)
        text += "N" + QByteArray::number(i) + "G01X" + QByteArray::number(i % 500) + "Y7\n";
    return text;
}

}  // namespace quorlin::test
