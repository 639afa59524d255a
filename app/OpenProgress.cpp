#include "app/OpenProgress.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QFont>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <thread>

#include "res/StringTable.h"
#include "transfer/qt/GuiWakeUp.h"

namespace quorlin {

namespace {

constexpr int kShowAfterMs = 400;  // a quick open shows no dialog at all
constexpr int kUpdateEveryMs = 100;
constexpr int kSteps = 1000;

}  // namespace

LoadedProgram LoadWithProgress(const QString& path, const QFont& font, QWidget* window) {
    LoadControl control;
    LoadedProgram loaded;
    QEventLoop waiting;
    QThread* const owner = QThread::currentThread();
    // The reader says it is done through an eventfd rather than a posted
    // call: the hand-over then stays visible to the thread checkers.
    std::atomic<bool> done {false};
    GuiWakeUp readerDone;
    QObject::connect(&readerDone, &GuiWakeUp::woken, &waiting, [&done, &waiting] {
        if (done.load()) waiting.quit();
    });
    std::thread reader([&] {
        loaded = LoadProgramDocument(path, font, owner, control);
        done.store(true);
        readerDone.Signal();
    });

    QProgressDialog progress(str::LoadText(str::kOpeningFile).arg(QFileInfo(path).fileName()),
                             str::LoadText(str::kCancelButton), 0, kSteps, window);
    progress.setObjectName(QStringLiteral("openProgress"));
    progress.setWindowTitle(str::LoadText(str::kAppName));
    progress.setAccessibleName(progress.labelText());
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(kShowAfterMs);
    QObject::connect(&progress, &QProgressDialog::canceled, [&control] { control.cancel = true; });
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&control, &progress, &done, &waiting] {
        if (done.load()) waiting.quit();  // without an eventfd, the tick notices
        const qint64 size = control.fileSize.load();
        if (size > 0) progress.setValue(static_cast<int>(std::min<qint64>(kSteps, control.bytesRead * kSteps / size)));
    });
    progress.setValue(0);
    ticker.start(kUpdateEveryMs);
    waiting.exec();
    ticker.stop();
    reader.join();
    return loaded;
}

}  // namespace quorlin
