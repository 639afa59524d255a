#pragma once
// The worker that puts the port back to the standard line settings one
// second after a download. Its wait can be cancelled: the next OpenPort,
// closing the port and destroying the engine drop a pending restore, and
// Cancel returns only when the worker has ended, so it never touches a port
// that was reopened, closed or destroyed meanwhile.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace quorlin {

class ITransferPort;

class RestoreWorker {
public:
    explicit RestoreWorker(std::chrono::milliseconds delay = std::chrono::milliseconds(1000))
        : m_delay(delay) {}
    ~RestoreWorker() { Cancel(); }
    RestoreWorker(const RestoreWorker&) = delete;
    RestoreWorker& operator=(const RestoreWorker&) = delete;

    // Starts a new restore of port, dropping one still pending.
    void Start(ITransferPort& port);
    // Drops a pending restore; waits for a restore in progress to finish.
    void Cancel();

private:
    void RestorePortThread(ITransferPort* port);

    const std::chrono::milliseconds m_delay;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bCancelled = false;
    std::thread m_thread;
};

// Re-applies the standard line settings of OpenPort.
void InitStandardLine(ITransferPort& port);

}  // namespace quorlin
