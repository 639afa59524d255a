#pragma once
// OutputDrain: what a closed port still owes the other side. When a port is
// closed with bytes queued (or still in the device's own output queue), the
// device and those bytes move here, and a thread of the drain sends them in
// order, honouring XON/XOFF as the port did, then closes the device. The
// closing caller does not wait for the line.
//
// The drain ends when everything has left, when the line made no progress
// for kStallLimit (XOFF held, a full device nobody reads, a dead line), or at
// the latest when the bytes' line time plus that margin has passed; what has
// not left by then is dropped, the device's unsent output with it, so that
// closing the device never waits either. An abandoned drain (its port is
// being destroyed) gives up at once where it would wait for the line. Bytes received meanwhile are only
// looked at for XON and XOFF: the port's next session starts from purged
// queues anyway.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "serial/PortLimits.h"

namespace quorlin {

class SerialDevice;
class WakeEvent;

class OutputDrain {
public:
    // How long the line may stand still before the drain gives up.
    static constexpr std::chrono::seconds kStallLimit = port_limits::kDeliveryMargin;

    struct Flow {
        bool software = false;  // XON/XOFF: XOFF stops the output, XON resumes it
        bool paused = false;    // an XOFF was the last of the two received
        uint8_t xonChar = 0x11;
        uint8_t xoffChar = 0x13;
    };

    // Starts sending bytes on device at baud; path names the device, so that
    // a later Open of the same device can wait for this drain.
    OutputDrain(std::unique_ptr<SerialDevice> device, std::string path, std::vector<uint8_t> bytes,
                Flow flow, uint32_t baud);
    ~OutputDrain();  // waits for the thread, which ends by its own deadline
    OutputDrain(const OutputDrain&) = delete;
    OutputDrain& operator=(const OutputDrain&) = delete;

    const std::string& Path() const { return m_path; }
    bool IsFinished() const { return m_bFinished.load(); }
    // Bytes that were dropped because the line did not take them in time.
    uint64_t Dropped() const { return m_nDropped.load(); }
    // Waits until the drain has ended (bounded by its deadline).
    void Wait();
    // From now on the drain gives up as soon as it would have to wait for
    // an XON or for room in the device; bytes the device has taken still
    // get the time they need.
    void Abandon();

private:
    void Run();
    // Reads what came in and acts on XON/XOFF; false when the device is gone.
    bool TakeInput();

    std::unique_ptr<SerialDevice> m_device;
    const std::string m_path;
    const std::vector<uint8_t> m_bytes;
    size_t m_nSent = 0;
    Flow m_flow;
    const uint32_t m_nBaud;
    std::unique_ptr<WakeEvent> m_wake;  // ends a wait early: Abandon
    std::atomic<bool> m_bAbandoned{false};
    std::atomic<bool> m_bFinished{false};
    std::atomic<uint64_t> m_nDropped{0};
    std::thread m_thread;
};

// Line time of bytes at baud, counted generously (start, eight data, parity
// and two stop bits per character); 9600 baud when baud is 0.
std::chrono::milliseconds LineTime(uint64_t bytes, uint32_t baud);

}  // namespace quorlin
