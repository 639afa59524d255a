#pragma once
// A port on a pseudo-terminal: the slave linked as COM3 in a temporary port
// map, the master played by the test.
#include <gtest/gtest.h>

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "serial/SerialPort.h"
#include "tests/support/SerialTestSupport.h"

namespace quorlin {

// The controller's flow characters (handshake 5).
inline constexpr char kXon = 0x11;
inline constexpr char kXoff = 0x13;

// A call on the host's thread (Open, Close, Init, Purge, Write) must return
// within 50 ms whatever the line does; tests allow a few times that, so that
// a loaded machine does not fail them.
inline constexpr std::chrono::milliseconds kHostCallBound{250};

// The longest host-thread call the tests timed, printed when the program
// ends.
class HostCallRecord {
public:
    static HostCallRecord& Instance() {
        static HostCallRecord record;
        return record;
    }
    void Note(const std::string& call, std::chrono::microseconds took) {
        std::lock_guard lock(m_mutex);
        if (took > m_longest) {
            m_longest = took;
            m_call = call;
        }
    }
    ~HostCallRecord() {
        if (!m_call.empty())
            std::printf("longest timed host-thread call: %s, %.2f ms\n", m_call.c_str(),
                        static_cast<double>(m_longest.count()) / 1000.0);
    }

private:
    std::mutex m_mutex;
    std::chrono::microseconds m_longest{0};
    std::string m_call;
};

// Runs call and returns how long it took.
inline std::chrono::milliseconds TimeWait(const std::function<void()>& call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::ceil<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

// The same for a call that must return promptly, noted under name.
inline std::chrono::milliseconds TimeHostCall(const std::string& name, const std::function<void()>& call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    const auto took = std::chrono::steady_clock::now() - start;
    HostCallRecord::Instance().Note(name, std::chrono::duration_cast<std::chrono::microseconds>(took));
    return std::chrono::ceil<std::chrono::milliseconds>(took);
}

class SerialPortOnPty : public ::testing::Test {
protected:
    static constexpr unsigned kPort = 3;
    static constexpr unsigned kCapacity = 5000;

    SerialPortOnPty() { folder.Link(kPort, pty.SlavePath()); }

    // Open, configure and start as the communication view does, with the
    // given handshake.
    void OpenMonitored(uint8_t handshake = HandshakeNone, uint32_t mask = EV_RXCHAR | EV_TXEMPTY) {
        OpenMonitoredFor(owner, handshake, mask);
    }
    // The same for another owner of the port's messages.
    void OpenMonitoredFor(test::RecordingOwner& who, uint8_t handshake = HandshakeNone,
                          uint32_t mask = EV_RXCHAR | EV_TXEMPTY) {
        bool opened = false;
        TimeHostCall("Open", [&] { opened = port.Open(&who, kPort, 0); });
        ASSERT_TRUE(opened);
        TimeHostCall("Init", [&] { port.Init(9600, 'n', 8, 1, handshake, mask); });
        ASSERT_TRUE(port.StartMonitoring());
    }

    // Reads everything the port holds into one string.
    std::string ReadAll() {
        std::string out;
        char piece[512];
        while (uint32_t n = port.Read(piece, sizeof piece)) out.append(piece, n);
        return out;
    }

    // Reads from the port until want bytes have come, reading again after
    // each RXDATA message, as an owner does.
    std::string ReadFromPort(size_t want) { return ReadFromPort(port, owner, want); }
    static std::string ReadFromPort(CSerialPort& from, test::RecordingOwner& by, size_t want) {
        std::string out;
        char piece[512];
        for (;;) {
            const size_t seen = by.Count(WM_SERIAL_RXDATA);
            while (uint32_t n = from.Read(piece, sizeof piece)) out.append(piece, n);
            if (out.size() >= want || !by.WaitForCount(WM_SERIAL_RXDATA, seen + 1)) return out;
        }
    }

    // Sends the controller's bytes followed by a marker and returns once the
    // port has taken all of them in: anything sent before the marker (an
    // XOFF, say) has then been acted on.
    void SendAndConfirm(const std::string& bytes, CSerialPort& on) {
        static char marker = 'a';
        marker = marker == 'z' ? 'a' : static_cast<char>(marker + 1);
        ASSERT_TRUE(pty.Write(bytes + marker));
        const std::string got = ReadFromPort(on, owner, 1);
        ASSERT_EQ(got, std::string(1, marker)) << on.LastError();
    }
    void SendAndConfirm(const std::string& bytes) { SendAndConfirm(bytes, port); }

    // For states the port shows no event for: checked again and again, with
    // a bounded deadline.
    static bool Eventually(const std::function<bool()>& condition) {
        const auto until = std::chrono::steady_clock::now() + test::kWaitDeadline;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > until) return false;
            sched_yield();
        }
        return true;
    }

    static std::string Pattern(size_t length, unsigned seed = 0) {
        std::string out(length, '\0');
        for (size_t i = 0; i < length; ++i)
            out[i] = static_cast<char>('A' + (i * 7 + seed * 13 + i / 26) % 26);
        return out;
    }

    // Declared after an owner local to a test: closes the port (ending its
    // threads) before that owner is destroyed, however the test ends.
    struct CloseBeforeOwnerGoes {
        CSerialPort& port;
        ~CloseBeforeOwnerGoes() { port.Close(); }
    };

    test::PortsFolder folder;
    test::PtyPair pty;
    test::RecordingOwner owner;
    CSerialPort port{kCapacity};
};

}  // namespace quorlin
