#include "app/OpenProgress.h"

#include <QAbstractTextDocumentLayout>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <thread>

#include "res/StringTable.h"
#include "transfer/qt/GuiWakeUp.h"

namespace quorlin {

namespace {

constexpr int kShowAfterMs = 400;  // a quick open shows no dialog at all
constexpr int kUpdateEveryMs = 100;
constexpr int kSteps = 1000;
// The longest the window's thread fills the document before it looks at
// its events again.
constexpr qint64 kFillSliceMs = 8;
constexpr qint64 kShowGrowthEveryMs = 100;

}  // namespace

OpenOutcome LoadWithProgress(const QString& path, QPlainTextEdit& editor, QWidget* window) {
    QTextDocument& document = *editor.document();
    LoadControl control;
    PieceQueue queue;
    DocumentFiller filler(document);
    OpenOutcome outcome;
    QEventLoop waiting;

    std::optional<DecodedPiece> piece;
    qsizetype offset = 0;
    QTimer more;  // runs while pieces wait, so that events come between slices
    more.setInterval(0);
    // The editor answers each change of the document's size by laying out
    // its last lines for the scroll bar, and each slice would be one: it
    // hears of the growth a few times a second instead.
    QAbstractTextDocumentLayout* const layout = document.documentLayout();
    QElapsedTimer sinceShown;
    sinceShown.start();
    auto showGrowth = [layout, &sinceShown] {
        emit layout->documentSizeChanged(layout->documentSize());
        emit layout->update(QRectF(0, 0, 1e9, 1e9));
        sinceShown.restart();
    };
    auto fill = [&] {
        QElapsedTimer clock;
        clock.start();
        QSignalBlocker quiet(layout);
        bool drained = false;
        while (!control.cancel.load() && clock.elapsed() < kFillSliceMs) {
            if (!piece) {
                piece = queue.Pop();
                offset = 0;
            }
            if (!piece) {
                drained = true;
                if (const std::optional<ReadOutcome> ended = queue.Outcome()) {
                    outcome.result = ended->result;
                    outcome.usualBreak = ended->usualBreak;
                    waiting.quit();
                }
                break;
            }
            const bool first = document.isEmpty();
            if (filler.InsertSlice(*piece, offset)) piece.reset();
            // The caret, carried along by the first slice, goes back to the
            // start, where later slices leave it.
            if (first) editor.setTextCursor(QTextCursor(&document));
        }
        quiet.unblock();
        if (drained) more.stop();
        else more.start();
        if (drained || sinceShown.elapsed() >= kShowGrowthEveryMs) showGrowth();
    };
    QObject::connect(&more, &QTimer::timeout, &waiting, fill);
    // The reader says there is more through an eventfd rather than a posted
    // call: the hand-over then stays visible to the thread checkers.
    GuiWakeUp readerWoke;
    QObject::connect(&readerWoke, &GuiWakeUp::woken, &waiting, fill);
    std::thread reader([&path, &control, &queue, &readerWoke] {
        ReadProgram(path, control, queue, [&readerWoke] { readerWoke.Signal(); });
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
    QObject::connect(&progress, &QProgressDialog::canceled, &waiting, [&control, &queue, &waiting] {
        control.cancel = true;
        queue.Stop();
        waiting.quit();
    });
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &waiting, [&control, &progress, &fill] {
        fill();  // without an eventfd, the tick looks for pieces
        const qint64 size = control.fileSize.load();
        if (size > 0) progress.setValue(static_cast<int>(std::min<qint64>(kSteps, control.bytesRead * kSteps / size)));
    });
    progress.setValue(0);
    ticker.start(kUpdateEveryMs);
    waiting.exec();
    ticker.stop();
    more.stop();
    control.cancel = true;  // the window is done with the reader, whatever it was doing
    queue.Stop();
    reader.join();
    outcome.cancelled = progress.wasCanceled();
    if (outcome.result.ok() && !outcome.cancelled) filler.Finish();
    return outcome;
}

}  // namespace quorlin
