#pragma once
// One copy of the program per user and profile. The first copy listens on a
// local socket named after the profile; a later copy finds it there, asks it
// to bring its window to the front, and ends.

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace quorlin {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // key: names the socket; copies with the same key exclude each other.
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);

    // The socket for the current user's profile: a path in the user's
    // runtime folder (XDG_RUNTIME_DIR), or a name in the temporary folder.
    static QString KeyForProfile();

    // True when another copy answered and was asked to raise its window
    // (within a bounded wait); this copy should then end.
    bool AskRunningCopyToRaise();

    // Starts answering later copies; false when the socket cannot be made.
    bool Listen();

signals:
    // A later copy asked this one to show its window.
    void raiseRequested();

private:
    void OnNewConnection();

    QString m_key;
    QLocalServer m_server;
};

}  // namespace quorlin
