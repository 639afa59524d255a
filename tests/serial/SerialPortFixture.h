#pragma once
// A port on a pseudo-terminal: the slave linked as COM3 in a temporary port
// map, the master played by the test.
#include <gtest/gtest.h>

#include <sched.h>

#include <chrono>
#include <functional>
#include <string>

#include "serial/SerialPort.h"
#include "tests/support/SerialTestSupport.h"

namespace quorlin {

// The controller's flow characters (handshake 5).
inline constexpr char kXon = 0x11;
inline constexpr char kXoff = 0x13;

class SerialPortOnPty : public ::testing::Test {
protected:
    static constexpr unsigned kPort = 3;
    static constexpr unsigned kCapacity = 5000;

    SerialPortOnPty() { folder.Link(kPort, pty.SlavePath()); }

    // Open, configure and start as the communication view does, with the
    // given handshake.
    void OpenMonitored(uint8_t handshake = HandshakeNone, uint32_t mask = EV_RXCHAR | EV_TXEMPTY) {
        ASSERT_TRUE(port.Open(&owner, kPort, 0));
        port.Init(9600, 'n', 8, 1, handshake, mask);
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
