// The port's threads over a device that a pseudo-terminal cannot stand in
// for: one that keeps an output queue as a UART does, and one whose write
// fails part-way through a block.
#include <gtest/gtest.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "serial/SerialDevice.h"
#include "serial/SerialPort.h"
#include "tests/support/SerialTestSupport.h"

namespace quorlin {
namespace {

using namespace std::chrono_literals;
using test::RecordingOwner;

// Always writable, never readable. What it takes stays in its output queue
// until Transmit; from byte failAt on every write fails.
class ScriptedDevice final : public SerialDevice {
public:
    struct Script {
        bool keepsOutputQueue = false;
        size_t failAt = SIZE_MAX;
    };
    explicit ScriptedDevice(Script script) : m_script(script) {}

    std::string Taken() const {
        std::lock_guard lock(m_mutex);
        return m_taken;
    }
    void Transmit() {
        std::lock_guard lock(m_mutex);
        m_queued = 0;
    }

    IoResult ReadSome(void*, size_t) override { return {IoStatus::WouldBlock, 0, 0}; }
    IoResult WriteSome(const void* data, size_t size) override {
        std::lock_guard lock(m_mutex);
        if (m_taken.size() >= m_script.failAt) return {IoStatus::Failed, 0, EPROTO};
        const size_t count = std::min(size, m_script.failAt - m_taken.size());
        m_taken.append(static_cast<const char*>(data), count);
        if (m_script.keepsOutputQueue) m_queued += static_cast<uint32_t>(count);
        return {IoStatus::Done, count, 0};
    }
    WaitResult Wait(const WakeEvent& stop, const WakeEvent& wake, DeviceWait what,
                    std::chrono::milliseconds timeout) const override {
        const bool writable = what == DeviceWait::Writable || what == DeviceWait::ReadableOrWritable;
        WaitResult result = WaitForEvents(stop, wake, m_noInput, writable ? 0ms : timeout);
        if (writable) {
            result.deviceReady = true;
            result.timedOut = false;
        }
        return result;
    }
    Readiness Ready() const override { return {false, true, false}; }
    bool GetState(CommState& state) const override {
        state = m_state;
        return true;
    }
    bool SetState(const CommState& state, std::string& notTaken) override {
        m_state = state;
        notTaken.clear();
        return true;
    }
    bool SetQueueSizes(uint32_t, uint32_t) override { return true; }
    bool Purge() override { return PurgeOutput(); }
    bool PurgeOutput() override {
        Transmit();
        return true;
    }
    bool PurgeInput() override { return true; }
    bool Drain() override { return true; }
    bool DrainUntil(std::chrono::steady_clock::time_point) override { return true; }
    bool OutputWaiting(uint32_t& count) const override {
        std::lock_guard lock(m_mutex);
        count = m_queued;
        return true;
    }
    bool Escape(uint32_t) override { return true; }
    bool GetModemStatus(uint32_t& status) const override {
        status = 0;
        return true;
    }

private:
    const Script m_script;
    mutable std::mutex m_mutex;
    std::string m_taken;
    uint32_t m_queued = 0;
    CommState m_state;
    WakeEvent m_noInput;
};

class PortOnScriptedDevice : public ::testing::Test {
protected:
    // Opens the port on a fresh device of script, configured and monitored.
    void Open(ScriptedDevice::Script script) {
        port = std::make_unique<CSerialPort>(1024, [this, script](const PortTarget&, PortFailure&) {
            auto device = std::make_unique<ScriptedDevice>(script);
            this->device = device.get();
            return device;
        });
#ifndef _WIN32
        ports.Link(kPort, "scripted");  // the map must name the port; the device is ours
#endif
        ASSERT_TRUE(port->Open(&owner, kPort, 0)) << port->LastError();
        port->Init(9600, 'n', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY);
        ASSERT_TRUE(port->StartMonitoring());
    }

    static constexpr unsigned kPort = 7;
#ifndef _WIN32
    test::PortsFolder ports;
#endif
    RecordingOwner owner;
    ScriptedDevice* device = nullptr;  // owned by the port
    std::unique_ptr<CSerialPort> port;
};

TEST_F(PortOnScriptedDevice, TxEmptyWaitsUntilTheDevicesOutputQueueHasBeenSent) {
    Open({.keepsOutputQueue = true});
    ASSERT_TRUE(port->WriteString("G01 X10\n"));
    // Everything is in the device at once, but it has not left the line.
    ASSERT_TRUE(owner.WaitFor([&](const auto&) { return device->Taken() == "G01 X10\n"; }));
    EXPECT_FALSE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 1, 200ms)) << "TXEMPTY before the bytes left";

    device->Transmit();
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 1));
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 500ms) << "the writer stopped looking at the queue";
    EXPECT_EQ(owner.Count(WM_SERIAL_TXEMPTY), 1u);
}

TEST_F(PortOnScriptedDevice, AWriteThatFailsPartWayGivesUpItsBlockWithoutReportingItSent) {
    Open({.failAt = 5});
    // The device takes "G01 " and then refuses the rest of the block.
    EXPECT_TRUE(port->WriteString("G01 X10\n"));
    port->Flush();  // returns once the writer is done with the block, bounded
    ASSERT_EQ(port->LastFailure().operation, "WriteFile()") << "the failure never reached the error hook";
    EXPECT_EQ(port->LastFailure().systemError, EPROTO) << "the device's own error number was lost";
    EXPECT_EQ(owner.Count(WM_SERIAL_TXEMPTY), 0u) << "a block that did not leave reported as sent";
    EXPECT_FALSE(port->IsDeviceLost()) << "one failed call is no lost device";

    // The broken block is gone from the queue and nothing of it was tried
    // again: the writer does not spin on it.
    CommStatus status;
    port->GetStatus(status);
    EXPECT_EQ(status.outQueue, 0u) << "the failed block is still counted as queued";
    EXPECT_EQ(device->Taken(), "G01 X");
}

}  // namespace
}  // namespace quorlin
