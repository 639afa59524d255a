#include "app/SingleInstance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QLocalSocket>
#include <QStandardPaths>

#include "profile/Profile.h"

namespace quorlin {

namespace {

// The request a later copy sends, and how long it waits for the first one
// (a copy that does not answer within this time counts as gone).
constexpr QByteArrayView kRaiseRequest = "raise\n";
constexpr int kConnectTimeoutMs = 1000;
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

bool SingleInstance::AskRunningCopyToRaise() {
    QLocalSocket socket;
    socket.connectToServer(m_key);
    if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
    socket.write(kRaiseRequest.data(), kRaiseRequest.size());
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::Listen() {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(m_key)) return true;
    // A socket left behind by a copy that crashed: nobody answered on it
    // (AskRunningCopyToRaise failed), so it can go.
    if (m_server.serverError() == QAbstractSocket::AddressInUseError) {
        QLocalServer::removeServer(m_key);
        return m_server.listen(m_key);
    }
    return false;
}

void SingleInstance::OnNewConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().contains("raise")) emit raiseRequested();
        });
    }
}

}  // namespace quorlin
