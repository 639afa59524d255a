#pragma once
// Support for the application's widget tests: prompts answered by the test,
// a folder of pseudo-terminal ports, the profile, screenshots on request.

#include <QDir>
#include <QObject>
#include <QList>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <initializer_list>
#include <memory>
#include <vector>

#include "tests/support/Screenshot.h"
#include "app/Prompts.h"

class QWidget;

namespace quorlin {
class CMainFrame;
}

namespace quorlin::test {

// Answers message boxes and file dialogs from queues and records them.
class FakePrompts final : public IPrompts {
public:
    struct Shown {
        QString text;
        QString caption;
        PromptIcon icon;
        PromptButtons buttons;
    };

    PromptAnswer Message(QWidget* parent, const QString& text, const QString& caption, PromptIcon icon,
                         PromptButtons buttons) override;
    QString FilePath(QWidget* parent, const FileDialogRequest& request) override;

    std::deque<PromptAnswer> answers;  // used in order; Cancel when empty (Ok for an Ok box)
    std::deque<QString> paths;         // used in order; empty (cancelled) when none left
    std::vector<Shown> messages;
    std::vector<FileDialogRequest> dialogs;
};

// Pseudo-terminals linked as COM<N> in a temporary folder that is the whole
// port map (QUORLIN_PORTS) while the object lives. The controller's ends stay
// open here and are never read.
class PtyPorts {
public:
    explicit PtyPorts(std::initializer_list<unsigned> ports = {1});
    ~PtyPorts();
    PtyPorts(const PtyPorts&) = delete;
    PtyPorts& operator=(const PtyPorts&) = delete;

    QString Folder() const { return m_folder.path(); }
    // Everything the program has written to port's line so far.
    QByteArray ReadLine(unsigned port);

private:
    QTemporaryDir m_folder;
    std::vector<std::pair<unsigned, int>> m_masters;
    std::vector<int> m_slaves;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};

// The test's own profile (XDG_CONFIG_HOME is set by CTest): emptied, or
// filled with raw values.
void ClearProfile();
void SetProfileValue(const QString& key, const QVariant& value);
QVariant ProfileValue(const QString& key);
// A value of any group: "Group/Key".
QVariant ProfileEntry(const QString& groupAndKey);

// Closes any message box that code outside the test shows modally (the
// transfer session's, for instance), so that a test never hangs on one; the
// texts are kept for the test to look at.
class ModalMessageCloser : public QObject {
public:
    ModalMessageCloser();
    QStringList closed;

private:
    void timerEvent(QTimerEvent* event) override;
    int m_timer;
};

// What a test of the main window stands on: an empty profile, pty ports,
// prompts answered by the test, a closer for any other message box, and the
// window, which the test makes. Its init calls StartFrameTest, its cleanup
// EndFrameTest.
class FrameTestBase : public QObject {
protected:
    FrameTestBase();
    ~FrameTestBase() override;
    void StartFrameTest(std::initializer_list<unsigned> ports = {1});
    // The window goes before its ports.
    void EndFrameTest();

    std::unique_ptr<PtyPorts> m_ports;
    ModalMessageCloser m_closer;
    FakePrompts m_prompts;
    std::unique_ptr<CMainFrame> m_frame;
};

// Writes bytes to a new file in folder; the path.
QString WriteFile(const QTemporaryDir& folder, const QString& name, const QByteArray& bytes);
QByteArray ReadWholeFile(const QString& path);

}  // namespace quorlin::test
