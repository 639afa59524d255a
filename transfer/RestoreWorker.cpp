#include "transfer/RestoreWorker.h"

#include <algorithm>

#include "serial/SerialPort.h"
#include "transfer/TransferPort.h"

namespace quorlin {

void InitStandardLine(ITransferPort& port) {
    port.Init(StandardLine::kBaud, StandardLine::kParity, StandardLine::kDataBits, StandardLine::kStopBits,
              HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
}

void RestoreStandardLine(ITransferPort& port) {
    port.InitKeepingOutput(StandardLine::kBaud, StandardLine::kParity, StandardLine::kDataBits,
                           StandardLine::kStopBits, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
}

void RestoreWorker::Start(ITransferPort& port, std::chrono::steady_clock::time_point lineFreeAt) {
    Cancel();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bCancelled = false;
    }
    const auto at = std::max(std::chrono::steady_clock::now(), lineFreeAt) + m_delay;
    m_thread = std::thread(&RestoreWorker::RestorePortThread, this, &port, at);
}

void RestoreWorker::Cancel() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bCancelled = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void RestoreWorker::RestorePortThread(ITransferPort* port, std::chrono::steady_clock::time_point at) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_wake.wait_until(lock, at, [this] { return m_bCancelled; })) return;
    // Init runs under the lock, so a Cancel issued meanwhile waits for it
    // and the port is configured before anyone reopens it.
    RestoreStandardLine(*port);
}

}  // namespace quorlin
