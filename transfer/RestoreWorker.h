#pragma once
// The worker that puts the port back to the standard line settings one
// second after a download has left the line. A port that shows no output
// queue says "sent" long before the line has carried the bytes: the worker
// waits for the line time of what was handed over before it changes the
// line, and it empties only the input, never what is still on its way to
// the controller. Its wait can be cancelled: the next OpenPort,
// closing the port and destroying the engine drop a pending restore, and
// Cancel returns only when the worker has ended, so it never touches a port
// that was reopened, closed or destroyed meanwhile.

#include <chrono>
#include <cstdint>
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

    // Starts a new restore of port, dropping one still pending: the delay
    // after lineFreeAt (when the line has carried what it was given), or
    // after now where that has passed.
    void Start(ITransferPort& port,
               std::chrono::steady_clock::time_point lineFreeAt = std::chrono::steady_clock::time_point{});
    // Drops a pending restore; waits for a restore in progress to finish.
    void Cancel();

private:
    void RestorePortThread(ITransferPort* port, std::chrono::steady_clock::time_point at);

    const std::chrono::milliseconds m_delay;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bCancelled = false;
    std::thread m_thread;
};

// Applies the standard line settings of OpenPort (emptying both queues).
void InitStandardLine(ITransferPort& port);
// The same, but bytes written before still go out.
void RestoreStandardLine(ITransferPort& port);
// The standard line's rate and framing.
struct StandardLine {
    static constexpr unsigned kBaud = 9600;
    static constexpr uint8_t kParity = 'o', kDataBits = 7, kStopBits = 1;
};

}  // namespace quorlin
