#include "convert/qt/ConversionJob.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QString>
#include <cstdint>
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
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) return;
    m_pNotifier = new QSocketNotifier(m_wakeFd, QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &ConversionJob::OnWake);
}

ConversionJob::~ConversionJob() {
    if (m_worker.joinable()) m_worker.join();
    delete m_pNotifier;
    if (m_wakeFd >= 0) ::close(m_wakeFd);
}

void ConversionJob::Run(Work work, qint64 workBytes) {
    if (IsRunning()) return;
    // Without a wake-up the conversion runs here: slow, but it finishes.
    if (workBytes <= kBackgroundWorkBytes || m_wakeFd < 0) {
        emit finished(RunGuarded(work));
        return;
    }
    m_outcome = {};
    emit runningChanged(true);
    try {
        m_worker = std::thread([this, work, wakeFd = m_wakeFd] {
            m_outcome = RunGuarded(work);
            const std::uint64_t one = 1;
            // One wake-up per conversion cannot overflow the counter.
            [[maybe_unused]] const ssize_t written = ::write(wakeFd, &one, sizeof one);
        });
    } catch (const std::system_error&) {
        // No thread to be had: convert here rather than not at all.
        emit runningChanged(false);
        emit finished(RunGuarded(work));
    }
}

void ConversionJob::OnWake() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t drained = ::read(m_wakeFd, &count, sizeof count);
    if (!m_worker.joinable()) return;
    // The worker has stored its outcome and is leaving.
    m_worker.join();
    const ConversionOutcome outcome = std::exchange(m_outcome, {});
    emit runningChanged(false);
    emit finished(outcome);
}

}  // namespace quorlin
