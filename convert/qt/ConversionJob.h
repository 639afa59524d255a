#pragma once
// Runs the work of a converter dialog's Convert button. Small conversions
// run at once on the GUI thread, as the button's handler; those that read
// and write more than kBackgroundWorkBytes run on a thread of their own so
// that the window keeps drawing, and the dialog shows itself busy until the
// outcome arrives. Either way the outcome comes through finished().
//
// The worker wakes the GUI thread through a GuiWakeUp and is joined before
// finished() is emitted: the join is
// the one hand-over of the outcome, which ThreadSanitizer can see even with
// an uninstrumented Qt (a posted Qt event would hide it).

#include <QObject>
#include <functional>
#include <thread>

#include "convert/ConvertMessages.h"
#include "transfer/qt/GuiWakeUp.h"

namespace quorlin {

class ConversionJob : public QObject {
    Q_OBJECT
public:
    // Above this many bytes read and written a conversion takes long enough
    // to be seen as a frozen window: measured 20 to 40 ms for 4 MiB from and
    // to the page cache, far more on a slow memory card.
    static constexpr qint64 kBackgroundWorkBytes = 4 * 1024 * 1024;

    using Work = std::function<ConversionOutcome()>;

    explicit ConversionJob(QObject* parent = nullptr);
    // Waits for a conversion still running: it writes files that must not be
    // left half-written. The dialogs refuse to close while one runs, so this
    // waits only when the whole application ends during a conversion.
    ~ConversionJob() override;
    ConversionJob(const ConversionJob&) = delete;
    ConversionJob& operator=(const ConversionJob&) = delete;

    // Runs work, which reads and writes about workBytes bytes. Ignored while
    // a conversion runs. An exception escaping work ends in an error message.
    void Run(Work work, qint64 workBytes);
    bool IsRunning() const { return m_worker.joinable(); }

signals:
    // A background conversion starts (true) or has ended (false).
    void runningChanged(bool running);
    // The messages to show, in order.
    void finished(const ConversionOutcome& outcome);

private:
    void OnWake();

    GuiWakeUp m_wake;
    std::thread m_worker;
    // Written by the worker, read only after it has been joined.
    ConversionOutcome m_outcome;
};

// work's outcome; an exception becomes an error message that names it, so
// that a failure is never silent and never taken for a finished conversion.
ConversionOutcome RunGuarded(const ConversionJob::Work& work);

}  // namespace quorlin
