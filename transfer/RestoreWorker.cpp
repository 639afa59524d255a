#include "transfer/RestoreWorker.h"

#include "serial/SerialPort.h"
#include "transfer/TransferPort.h"

namespace quorlin {

void InitStandardLine(ITransferPort& port) {
    port.Init(9600, 'o', 7, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
}

void RestoreWorker::Start(ITransferPort& port) {
    Cancel();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bCancelled = false;
    }
    m_thread = std::thread(&RestoreWorker::RestorePortThread, this, &port);
}

void RestoreWorker::Cancel() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bCancelled = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void RestoreWorker::RestorePortThread(ITransferPort* port) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_wake.wait_for(lock, m_delay, [this] { return m_bCancelled; })) return;
    // Init runs under the lock, so a Cancel issued meanwhile waits for it
    // and the port is configured before anyone reopens it.
    InitStandardLine(*port);
}

}  // namespace quorlin
