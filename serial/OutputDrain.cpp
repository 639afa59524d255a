#include "serial/OutputDrain.h"

#include <algorithm>
#include <system_error>

#include "serial/PortLimits.h"
#include "serial/SerialDevice.h"

namespace quorlin {

using namespace port_limits;
using Clock = std::chrono::steady_clock;

std::chrono::milliseconds LineTime(uint64_t bytes, uint32_t baud) {
    const uint64_t rate = baud != 0 ? baud : kUsualBaud;
    return std::chrono::milliseconds(bytes * kLongestCharacterBits * 1000 / rate);
}

OutputDrain::OutputDrain(std::unique_ptr<SerialDevice> device, std::string path,
                         std::vector<uint8_t> bytes, Flow flow, uint32_t baud)
    : m_device(std::move(device)),
      m_path(std::move(path)),
      m_bytes(std::move(bytes)),
      m_flow(flow),
      m_nBaud(baud),
      m_wake(std::make_unique<WakeEvent>()) {
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // No thread to be had: the bytes cannot wait for the line here.
        m_nDropped = m_bytes.size();
        m_device->PurgeOutput();
        m_device.reset();
        m_bFinished = true;
    }
}

OutputDrain::~OutputDrain() { Wait(); }

void OutputDrain::Wait() {
    if (m_thread.joinable()) m_thread.join();
}

bool OutputDrain::TakeInput() {
    uint8_t piece[kReadPiece];
    for (;;) {
        const IoResult io = m_device->ReadSome(piece, sizeof piece);
        if (io.status == IoStatus::Lost || io.status == IoStatus::Failed) return false;
        if (io.status != IoStatus::Done || io.count == 0) return true;
        for (size_t i = 0; i < io.count; ++i) {
            if (piece[i] == m_flow.xoffChar) m_flow.paused = true;
            else if (piece[i] == m_flow.xonChar) m_flow.paused = false;
        }
        if (io.count < sizeof piece) return true;
    }
}

void OutputDrain::Abandon() {
    m_bAbandoned = true;
    m_wake->Signal();
}

void OutputDrain::Run() {
    const auto start = Clock::now();
    uint32_t queued = 0;
    m_device->OutputWaiting(queued);
    const auto deadline = start + LineTime(m_bytes.size() + queued, m_nBaud) + kDeliveryMargin;
    auto lastProgress = start;
    uint32_t lastQueued = queued;
    bool done = false;
    bool gone = false;
    for (;;) {
        const auto now = Clock::now();
        const auto giveUp = std::min(deadline, lastProgress + kStallLimit);
        if (now >= giveUp) break;
        // Bytes leaving a UART's own queue are progress too: at 9600 baud its
        // 4 KiB take seconds before it takes more.
        if (!m_device->OutputWaiting(queued)) {
            gone = true;
            break;
        }
        if (queued < lastQueued) lastProgress = now;
        lastQueued = queued;
        if (m_flow.software && !TakeInput()) {
            gone = true;
            break;
        }
        const bool abandoned = m_bAbandoned.load();
        DeviceWait what = DeviceWait::None;
        auto timeout = std::min(std::chrono::ceil<std::chrono::milliseconds>(giveUp - now), kLongestDrainLook);
        if (m_nSent < m_bytes.size()) {
            if (m_flow.paused) {
                if (abandoned) break;
                what = DeviceWait::Readable;  // for the XON
            } else {
                size_t piece = m_bytes.size() - m_nSent;
                if (m_flow.software) {
                    // An XOFF may be waiting: read it before another piece.
                    const SerialDevice::Readiness ready = m_device->Ready();
                    if (ready.gone) {
                        gone = true;
                        break;
                    }
                    if (ready.readable) continue;
                    piece = std::min(piece, kFlowChunk);
                }
                const IoResult io = m_device->WriteSome(m_bytes.data() + m_nSent, piece);
                if (io.status == IoStatus::Done) {
                    m_nSent += io.count;
                    if (io.count > 0) lastProgress = now;
                    continue;
                }
                if (io.status != IoStatus::WouldBlock) {
                    gone = true;
                    break;
                }
                if (abandoned) break;
                what = m_flow.software ? DeviceWait::ReadableOrWritable : DeviceWait::Writable;
            }
        } else {
            if (queued == 0) {
                // Only the transmitter's last characters are left.
                done = m_device->Drain();
                break;
            }
            if (m_flow.software) what = DeviceWait::Readable;
            timeout = std::min(timeout, std::clamp(LineTime(queued, m_nBaud),
                                                   std::chrono::milliseconds(1), kLongestOutputLook));
        }
        const WaitResult wait = m_device->Wait(*m_wake, *m_wake, what, timeout);
        if (wait.stopped || wait.woken) m_wake->Clear();
        if (wait.deviceGone) {
            gone = true;
            break;
        }
    }
    if (!done && !gone) {
        m_nDropped = m_bytes.size() - m_nSent;
        m_device->PurgeOutput();  // so that closing does not wait for the line
    }
    m_device.reset();
    m_bFinished = true;
}

}  // namespace quorlin
