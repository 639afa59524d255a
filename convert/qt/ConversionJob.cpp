#include "convert/qt/ConversionJob.h"

#include <QString>
#include <exception>
#include <system_error>
#include <utility>

#include "convert/qt/ConvertStrings.h"

namespace quorlin {

ConversionOutcome RunGuarded(const ConversionJob::Work& work) {
    std::string reason;
    try {
        return work();
    } catch (const std::exception& error) {
        reason = error.what();
    } catch (...) {
        reason = "unknown failure";
    }
    ConversionOutcome outcome;
    outcome.Error(QString::fromUtf8(convertui::kTextConversionStopped)
                      .replace(QLatin1String("%1"), QString::fromUtf8(reason))
                      .toStdString());
    return outcome;
}

ConversionJob::ConversionJob(QObject* parent) : QObject(parent) {
    connect(&m_wake, &GuiWakeUp::woken, this, &ConversionJob::OnWake);
}

ConversionJob::~ConversionJob() {
    if (m_worker.joinable()) m_worker.join();
}

void ConversionJob::Run(Work work, qint64 workBytes) {
    if (IsRunning()) return;
    // Without a wake-up the conversion runs here: slow, but it finishes.
    if (workBytes <= kBackgroundWorkBytes || !m_wake.IsValid()) {
        emit finished(RunGuarded(work));
        return;
    }
    m_outcome = {};
    emit runningChanged(true);
    try {
        m_worker = std::thread([this, work] {
            m_outcome = RunGuarded(work);
            m_wake.Signal();
        });
    } catch (const std::system_error&) {
        // No thread to be had: convert here rather than not at all.
        emit runningChanged(false);
        emit finished(RunGuarded(work));
    }
}

void ConversionJob::OnWake() {
    if (!m_worker.joinable()) return;
    // The worker has stored its outcome and is leaving.
    m_worker.join();
    const ConversionOutcome outcome = std::exchange(m_outcome, {});
    emit runningChanged(false);
    emit finished(outcome);
}

}  // namespace quorlin
