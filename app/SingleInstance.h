#pragma once
// One copy of the program per user and profile. The first copy listens on a
// local socket named after the profile; a later copy finds it there, asks it
// to bring its window to the front and, when it was started with a file
// (a double-click in the file manager), to open that file; then it ends.
//
// The request is one line: "raise", or "raise " and the file's absolute
// path percent-encoded (so that no path can end the line early); copies
// from before the file was passed on still raise their window on it. The
// first copy answers "ok" once it has taken the request, "refused" when
// the line makes no sense.

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

    enum class Answer {
        NoCopy,       // nobody listens: this copy is the first
        Taken,        // the running copy took the request
        NotAnswered,  // a copy listens but did not take the request in time
    };
    // Asks the running copy to come to the front and, with openPath (an
    // absolute path), to open that file. Bounded: a second to connect, a few
    // more for the answer. Events go on meanwhile, so a copy in the same
    // thread (a test's) answers too.
    Answer AskRunningCopy(const QString& openPath = {});
    // The same without a file: true when the running copy took it.
    bool AskRunningCopyToRaise() { return AskRunningCopy() == Answer::Taken; }

    // Starts answering later copies; false when the socket cannot be made.
    bool Listen();

signals:
    // A later copy asked this one to show its window.
    void raiseRequested();
    // ... and to open this file (after raiseRequested).
    void openRequested(const QString& path);

private:
    void OnNewConnection();
    // One request line, without its line end; false when it makes no sense.
    bool TakeRequest(const QByteArray& line);

    QString m_key;
    QLocalServer m_server;
};

}  // namespace quorlin
