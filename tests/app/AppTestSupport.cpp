#include "tests/app/AppTestSupport.h"

#include <fcntl.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QWidget>

#include "app/MainFrame.h"
#include "profile/Profile.h"
#include "serial/PortMap.h"

namespace quorlin::test {

PromptAnswer FakePrompts::Message(QWidget*, const QString& text, const QString& caption, PromptIcon icon,
                                  PromptButtons buttons) {
    messages.push_back({text, caption, icon, buttons});
    if (answers.empty()) return buttons == PromptButtons::Ok ? PromptAnswer::Ok : PromptAnswer::Cancel;
    const PromptAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

QString FakePrompts::FilePath(QWidget*, const FileDialogRequest& request) {
    dialogs.push_back(request);
    if (paths.empty()) return {};
    QString path = paths.front();
    paths.pop_front();
    return path;
}

PtyPorts::PtyPorts(std::initializer_list<unsigned> ports) {
    if (const char* previous = ::getenv(kPortsFolderVariable)) {
        m_hadPrevious = true;
        m_previous = previous;
    }
    qputenv(kPortsFolderVariable, QFile::encodeName(m_folder.path()));
    for (unsigned port : ports) {
        int master = -1;
        int slave = -1;
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) continue;
        termios raw{};
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        const QString link = m_folder.filePath(QStringLiteral("COM%1").arg(port));
        QFile::link(QString::fromLocal8Bit(name), link);
        m_masters.emplace_back(port, master);
        m_slaves.push_back(slave);
    }
}

PtyPorts::~PtyPorts() {
    for (auto& [port, master] : m_masters) ::close(master);
    for (int slave : m_slaves) ::close(slave);
    if (m_hadPrevious) qputenv(kPortsFolderVariable, m_previous);
    else qunsetenv(kPortsFolderVariable);
}

QByteArray PtyPorts::ReadLine(unsigned port) {
    QByteArray bytes;
    for (auto& [number, master] : m_masters) {
        if (number != port) continue;
        char buffer[4096];
        ssize_t got;
        while ((got = ::read(master, buffer, sizeof buffer)) > 0) bytes.append(buffer, got);
    }
    return bytes;
}


void ClearProfile() {
    // A named pipe left by a test that was killed would hold QSettings.
    const QFileInfo store(ProfileLocation());
    if (store.exists() && !store.isFile() && !store.isDir()) QFile::remove(store.filePath());
    QSettings settings = OpenProfile();
    settings.clear();
    settings.sync();
}

void SetProfileValue(const QString& key, const QVariant& value) {
    QSettings settings = OpenProfile();
    settings.setValue(QStringLiteral("Prop/") + key, value);
    settings.sync();
}

QVariant ProfileValue(const QString& key) { return ProfileEntry(QStringLiteral("Prop/") + key); }

QVariant ProfileEntry(const QString& groupAndKey) {
    QSettings settings = OpenProfile();
    return settings.value(groupAndKey);
}

namespace {
constexpr int kModalPollMs = 50;
}  // namespace

ModalMessageCloser::ModalMessageCloser() : m_timer(startTimer(kModalPollMs)) {}

void ModalMessageCloser::timerEvent(QTimerEvent*) {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        closed << box->text();
        qWarning("closed a message box: %s", qPrintable(box->text()));
        box->reject();
    }
}

QString WriteFile(const QTemporaryDir& folder, const QString& name, const QByteArray& bytes) {
    const QString path = folder.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
    return path;
}

QByteArray ReadWholeFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

FrameTestBase::FrameTestBase() = default;
FrameTestBase::~FrameTestBase() = default;

void FrameTestBase::StartFrameTest(std::initializer_list<unsigned> ports) {
    ClearProfile();
    m_ports = std::make_unique<PtyPorts>(ports);
    m_prompts = FakePrompts();
}

void FrameTestBase::EndFrameTest() {
    m_frame.reset();
    m_ports.reset();
}

}  // namespace quorlin::test
