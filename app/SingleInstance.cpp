#include "app/SingleInstance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

#include "profile/Profile.h"

namespace quorlin {

namespace {

constexpr QByteArrayView kRaiseRequest = "raise";
constexpr QByteArrayView kTaken = "ok\n";
constexpr QByteArrayView kRefused = "refused\n";
// A copy that does not accept the connection within this time counts as
// gone; one that accepted answers within the second wait, since a copy
// whose window waits on a question still runs its event loop.
constexpr int kConnectTimeoutMs = 1000;
constexpr int kAnswerTimeoutMs = 5000;
// A request is a path at most, percent-encoded; anything longer without a
// line end is not one of ours.
constexpr qint64 kMaxRequestBytes = 64 * 1024;
// A connection that says nothing is let go.
constexpr int kSilentConnectionMs = 10000;
constexpr int kHashCharacters = 16;

}  // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent), m_key(key) {
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
}

QString SingleInstance::KeyForProfile() {
    // The profile's path names the user (and a test's own profile folder).
    const QByteArray hash =
        QCryptographicHash::hash(ProfileLocation().toUtf8(), QCryptographicHash::Sha256).toHex().left(kHashCharacters);
    const QString name = QStringLiteral("Quorlin-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
    // The user's runtime folder, where there is one: only the user may enter
    // it and the session empties it at log-out, so no copy that was killed
    // leaves its socket behind for good. Without one, the temporary folder.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return name;
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? name : runtime + QLatin1Char('/') + name;
}

SingleInstance::Answer SingleInstance::AskRunningCopy(const QString& openPath) {
    QByteArray request = kRaiseRequest.toByteArray();
    if (!openPath.isEmpty()) request += ' ' + openPath.toUtf8().toPercentEncoding();
    request += '\n';

    QLocalSocket socket;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    bool connected = false;
    bool finished = false;
    QByteArray reply;
    const auto finish = [&] {
        finished = true;
        loop.quit();
    };
    connect(&socket, &QLocalSocket::connected, &loop, [&] {
        connected = true;
        socket.write(request);
        deadline.start(kAnswerTimeoutMs);
    });
    connect(&socket, &QLocalSocket::readyRead, &loop, [&] {
        reply += socket.readAll();
        if (reply.contains('\n')) finish();
    });
    connect(&socket, &QLocalSocket::errorOccurred, &loop, finish);
    connect(&socket, &QLocalSocket::disconnected, &loop, finish);
    connect(&deadline, &QTimer::timeout, &loop, finish);
    deadline.start(kConnectTimeoutMs);
    socket.connectToServer(m_key);
    // The connection may have been made or refused on the spot.
    if (!finished && socket.state() != QLocalSocket::UnconnectedState) loop.exec();
    if (!connected) return Answer::NoCopy;
    // The answer may have come in with the other copy's hang-up.
    reply += socket.readAll();
    return reply.startsWith(kTaken.toByteArray()) ? Answer::Taken : Answer::NotAnswered;
}

bool SingleInstance::Listen() {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(m_key)) return true;
    // A socket left behind by a copy that crashed: nobody answered on it
    // (AskRunningCopy found no copy), so it can go.
    if (m_server.serverError() == QAbstractSocket::AddressInUseError) {
        QLocalServer::removeServer(m_key);
        return m_server.listen(m_key);
    }
    return false;
}

void SingleInstance::OnNewConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kSilentConnectionMs, socket, &QLocalSocket::abort);
        // Nothing here waits on the socket: what the other copy sends is
        // taken as it arrives, and the answer is queued, not waited for.
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->canReadLine()) {
                QByteArray line = socket->readLine();
                line.chop(1);
                socket->write(TakeRequest(line) ? kTaken.toByteArray() : kRefused.toByteArray());
                socket->disconnectFromServer();
            } else if (socket->bytesAvailable() > kMaxRequestBytes) {
                socket->abort();
            }
        });
    }
}

bool SingleInstance::TakeRequest(const QByteArray& line) {
    if (line == kRaiseRequest) {
        emit raiseRequested();
        return true;
    }
    const QByteArray opener = kRaiseRequest.toByteArray() + ' ';
    if (!line.startsWith(opener)) return false;
    const QString path = QString::fromUtf8(QByteArray::fromPercentEncoding(line.mid(opener.size())));
    // The later copy resolved the path in its own working folder; a relative
    // one would be taken in this copy's, another file.
    if (path.isEmpty() || QDir::isRelativePath(path)) return false;
    emit raiseRequested();
    emit openRequested(path);
    return true;
}

}  // namespace quorlin
