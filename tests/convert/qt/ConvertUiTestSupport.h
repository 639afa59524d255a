#pragma once
// Shared pieces of the converter dialogs' widget tests: prompts that answer
// in place of a person and record what was shown, drops sent as a file
// manager sends them, files with recognisable bytes, screenshots, and the
// dialog under test over its main window.

#include "tests/support/Screenshot.h"
#include <signal.h>
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMainWindow>
#include <QMimeData>
#include <QPointer>
#include <QRect>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "convert/qt/ConverterPrompts.h"

namespace quorlin::test {

// What the dialog showed and asked, and the answers it is to get. Shared
// with the test, because the dialog owns its prompts and may delete itself.
struct PromptLog {
    std::vector<DialogMessage> messages;
    // Answers in turn; a null string (QString()) is a Cancel, and so is
    // a question with no answer left.
    QStringList fileAnswers;
    QStringList folderAnswers;
    QStringList folderTitles;
    QStringList folderStarts;
    QStringList fileStarts;
    int fileQuestions = 0;

    QStringList Texts() const {
        QStringList texts;
        for (const DialogMessage& message : messages) texts << QString::fromStdString(message.text);
        return texts;
    }
};

class RecordingPrompts final : public ConverterPrompts {
public:
    explicit RecordingPrompts(std::shared_ptr<PromptLog> log) : m_log(std::move(log)) {}

    void ShowMessage(QWidget*, const DialogMessage& message) override { m_log->messages.push_back(message); }
    std::optional<QString> ChooseSourceFile(QWidget*, const QString& startFolder) override {
        ++m_log->fileQuestions;
        m_log->fileStarts << startFolder;
        return Next(m_log->fileAnswers);
    }
    std::optional<QString> ChooseFolder(QWidget*, const QString& title, const QString& start) override {
        m_log->folderTitles << title;
        m_log->folderStarts << start;
        return Next(m_log->folderAnswers);
    }

private:
    static std::optional<QString> Next(QStringList& answers) {
        if (answers.isEmpty() || answers.constFirst().isNull()) {
            if (!answers.isEmpty()) answers.removeFirst();
            return std::nullopt;
        }
        return answers.takeFirst();
    }
    std::shared_ptr<PromptLog> m_log;
};

// Drags urls onto target and drops them there, as a file manager does.
inline void DropUrls(QWidget* target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint point = target->rect().center();
    QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(point), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

inline QList<QUrl> FileUrls(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    return urls;
}

// Bytes that differ from place to place, so that misplaced or repeated
// pieces show in comparisons.
inline QByteArray Pattern(qsizetype size, quint32 seed = 1) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = seed * 2654435761u + 1;
    for (qsizetype i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

// Saves a picture of window when QUORLIN_SCREENSHOT_DIR names a folder.
inline void SaveScreenshot(QWidget& window, const QString& name) { quorlin::test::SaveScreenshot(&window, name); }

}  // namespace quorlin::test

#include <QLabel>
#include <QSet>
#include <QTest>

namespace quorlin::test {

// The widgets of window that take keyboard focus: what a person acts on.
inline QList<QWidget*> FocusableControls(QWidget& window) {
    QList<QWidget*> controls;
    const QList<QWidget*> all = window.findChildren<QWidget*>();
    for (QWidget* widget : all) {
        if (!widget->isVisibleTo(&window) || widget->focusPolicy() == Qt::NoFocus) continue;
        // Parts of a compound control (a list's viewport, a header) are reached with it.
        if (widget->parentWidget() != &window) continue;
        controls << widget;
    }
    return controls;
}

// The controls focused while Tab is pressed from the first one round the
// window and back.
inline QSet<QWidget*> ReachedByTab(QWidget& window, QWidget* first) {
    QSet<QWidget*> reached;
    first->setFocus(Qt::TabFocusReason);
    const int presses = 2 * static_cast<int>(FocusableControls(window).size()) + 2;
    for (int i = 0; i < presses; ++i) {
        if (QWidget* focused = QApplication::focusWidget()) reached.insert(focused);
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window, Qt::Key_Tab);
    }
    return reached;
}

}  // namespace quorlin::test

namespace quorlin::test {

// While it lives, every write of this process past limit bytes into a file
// fails as on a full disk (EFBIG, with SIGXFSZ ignored): a full disk without
// filling one.
class DiskFullAfter {
public:
    explicit DiskFullAfter(rlim_t limit) {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit full = m_saved;
        full.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &full);
    }
    ~DiskFullAfter() {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        ::signal(SIGXFSZ, m_oldHandler);
    }
    DiskFullAfter(const DiskFullAfter&) = delete;
    DiskFullAfter& operator=(const DiskFullAfter&) = delete;

private:
    rlimit m_saved{};
    sighandler_t m_oldHandler = SIG_DFL;
};

// A converter dialog opened over a main window at `owner`, with a fresh
// profile, its prompts recorded and a temporary folder for its files; the
// test's init() and cleanup() call OpenDialog() and CloseDialog().
template <typename Dialog>
class ConverterDialogFixture {
protected:
    void OpenDialog(const QRect& owner) {
        QSettings(QStringLiteral("Morvale CNC"), QStringLiteral("Quorlin")).clear();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_mainWindow = new QMainWindow;
        m_mainWindow->setGeometry(owner);
        m_mainWindow->show();
        m_dlg = new Dialog(m_mainWindow);
        m_log = std::make_shared<PromptLog>();
        m_dlg->SetPrompts(std::make_unique<RecordingPrompts>(m_log));
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
    }
    void CloseDialog() {
        delete m_mainWindow;  // and with it the dialogs it owns
        QVERIFY(m_dlg.isNull());
        m_dir.reset();
    }
    template <typename T>
    T* Child(const char* name) {
        T* child = m_dlg->template findChild<T*>(QLatin1String(name));
        if (!child) qFatal("no control %s", name);
        return child;
    }

    QMainWindow* m_mainWindow = nullptr;
    QPointer<Dialog> m_dlg;
    std::shared_ptr<PromptLog> m_log;
    std::unique_ptr<QTemporaryDir> m_dir;
};

}  // namespace quorlin::test
