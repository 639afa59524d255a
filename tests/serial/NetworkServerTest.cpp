// Device servers that misbehave, each a small server on 127.0.0.1 playing
// one fault: nothing the port was asked to send reaches a server whose line
// is not what was asked, nothing a server negotiates reaches the program as
// data, and a server that misbehaves is dropped with a reason.
#include <gtest/gtest.h>

#include <errno.h>

#include <future>
#include <string>

#include "serial/PortDevice.h"
#include "tests/serial/SerialPortFixture.h"
#include "tests/support/ScriptedServer.h"

namespace quorlin {
namespace {

using namespace std::chrono_literals;
using test::ScriptedServer;
namespace telnet = test::telnet;

constexpr unsigned kPort = 5;
constexpr const char* kProgram = "%\r\nO1234\r\nG0X10\r\nM30\r\n%\r\n";

// How a com-port server answers the settings it is sent: the value it
// takes for each command's value, or nothing (no answer at all).
using Answerer = std::function<std::optional<std::string>(char command, const std::string& value)>;

// A com-port server: takes the option (or answers the offer with optionAnswer),
// answers every setting as answer says and keeps what it receives, until the
// client goes or the test ends.
ScriptedServer::Script ComPortServer(char optionAnswer, Answerer answer, std::string afterSettings = {}) {
    return [=](ScriptedServer::Connection& connection) {
        std::string all;
        size_t answered = 0;
        bool offered = false, extraSent = false;
        while (!connection.Closed() && !connection.Stopping()) {
            const std::string got = connection.Read(50ms);
            all += got;
            connection.Keep(got);
            if (!offered && all.find(std::string{telnet::kIac, telnet::kWill, telnet::kComPort}) != std::string::npos) {
                offered = true;
                connection.Write(std::string{telnet::kIac, optionAnswer, telnet::kComPort}, 1s);
            }
            const auto commands = telnet::ComPortCommands(all);
            for (; answered < commands.size(); ++answered) {
                const std::string& command = commands[answered];
                if (command.empty()) continue;
                if (auto value = answer(command[0], command.substr(1)))
                    connection.Write(telnet::ComPortAnswer(command[0], *value), 1s);
            }
            // Once the line settings (SET-BAUDRATE, code 1) have come.
            if (!extraSent && !afterSettings.empty() && answered >= 4) {
                extraSent = true;
                connection.Write(afterSettings, 5s);
            }
        }
    };
}

std::optional<std::string> Honest(char, const std::string& value) { return value; }

// Opens port kPort at a program's line, 9600 baud, 7 bits, odd parity, as
// a transfer does.
void OpenAtProgramLine(CSerialPort& port, test::RecordingOwner& owner, int handshake = HandshakeXonXoff) {
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    port.Init(9600, 'o', 7, 1, handshake, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_TRUE(port.StartMonitoring());
}

// And starts a program.
void OpenAndWrite(CSerialPort& port, test::RecordingOwner& owner) {
    ASSERT_NO_FATAL_FAILURE(OpenAtProgramLine(port, owner));
    port.WriteString(kProgram);
}

std::string Rfc2217(const ScriptedServer& server) { return "rfc2217://127.0.0.1:" + std::to_string(server.Port()); }

TEST(NetworkServer, LineSettingsTheServerDidNotTakeStopTheTransferBeforeAnyData) {
    struct Case {
        const char* name;
        char optionAnswer;
        Answerer answer;
        const char* reason;
    };
    const Case cases[] = {
        {"another speed", telnet::kDo,
         [](char command, const std::string& value) -> std::optional<std::string> {
             if (command == 1) return std::string{0, 0, 0x12, static_cast<char>(0xC0)};  // 4800
             return value;
         },
         "set the line to 4800 baud, not 9600 baud"},
        {"refused option", telnet::kDont, Honest, "did not take the com-port option"},
        {"unanswered settings", telnet::kDo, [](char, const std::string&) { return std::optional<std::string>(); },
         "did not answer SET-BAUDRATE"},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        ScriptedServer server(ComPortServer(each.optionAnswer, each.answer));
        ASSERT_TRUE(server.IsValid());
        test::PortsFolder folder;
        folder.Link(kPort, Rfc2217(server));
        test::RecordingOwner owner;
        CSerialPort port;
        ASSERT_NO_FATAL_FAILURE(OpenAndWrite(port, owner));
        ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_DEVLOST, 1, 8s));
        const PortFailure why = port.LastOpenFailure();
        EXPECT_EQ(why.kind, PortFailureKind::ServerFault);
        EXPECT_NE(why.systemText.find(each.reason), std::string::npos) << why.systemText;
        EXPECT_EQ(owner.Count(WM_SERIAL_TXEMPTY), 0u);
        port.Close();
        EXPECT_EQ(server.Kept().find("O1234"), std::string::npos) << "the program reached the server";
    }
}

TEST(NetworkServer, AnAnswerWithTheLatestValueAnswersTheSettingsItReplaced) {
    // A download sets 8 data bits right after the open set 7: a server that
    // takes both before it answers says 8 once, the value it now holds.
    int dataSizeAsks = 0;
    std::promise<void> firstAsked;
    ScriptedServer server(ComPortServer(telnet::kDo, [&](char command, const std::string& value) {
        if (command == 2 && ++dataSizeAsks == 1) {
            firstAsked.set_value();
            return std::optional<std::string>();
        }
        return std::optional<std::string>(value);
    }));
    ASSERT_TRUE(server.IsValid());
    test::PortsFolder folder;
    folder.Link(kPort, Rfc2217(server));
    test::RecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    port.Init(9600, 'o', 7, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_EQ(firstAsked.get_future().wait_for(5s), std::future_status::ready);
    port.Init(9600, 'o', 8, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_TRUE(port.StartMonitoring());
    port.WriteString(kProgram);
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 1, 8s)) << port.LastOpenFailure().systemText;
    EXPECT_EQ(owner.Count(WM_SERIAL_DEVLOST), 0u);
    port.Close();
    EXPECT_NE(server.Kept().find("O1234"), std::string::npos);
}

TEST(NetworkServer, NegotiationNeverBecomesProgramData) {
    // An overlong sub-negotiation, then a program: neither reaches the port.
    const std::string overlong = std::string{telnet::kIac, telnet::kSb, telnet::kComPort, 7} +
                                 std::string(40000, 'N') + std::string{telnet::kIac, telnet::kSe} + "O9999\r\n";
    ScriptedServer server(ComPortServer(telnet::kDo, Honest, overlong));
    ASSERT_TRUE(server.IsValid());
    test::PortsFolder folder;
    folder.Link(kPort, Rfc2217(server));
    test::RecordingOwner owner;
    CSerialPort port;
    ASSERT_NO_FATAL_FAILURE(OpenAtProgramLine(port, owner));
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_DEVLOST, 1, 8s));
    char buffer[65536];
    const uint32_t got = port.Read(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, got).find_first_of("NO9"), std::string::npos) << got << " bytes reached the port";
    EXPECT_EQ(port.LastOpenFailure().kind, PortFailureKind::ServerFault);
    EXPECT_NE(port.LastOpenFailure().systemText.find("telnet protocol"), std::string::npos);
}

TEST(NetworkServer, AServerThatAsksWithoutReadingIsDroppedBeforeItsAnswersGrowWithoutBound) {
    // IAC DO (an option this side does not take) over and over, for up to
    // 64 MB, without reading a byte: every one wants an answer.
    ScriptedServer server([](ScriptedServer::Connection& connection) {
        std::string burst;
        for (int i = 0; i < 20000; ++i) burst += std::string{telnet::kIac, telnet::kDo, 1};
        size_t written = 0;
        while (written < 64u * 1024 * 1024 && !connection.Closed() && !connection.Stopping())
            written += connection.Write(burst, 1s);
    });
    ASSERT_TRUE(server.IsValid());
    test::PortsFolder folder;
    folder.Link(kPort, Rfc2217(server));
    test::RecordingOwner owner;
    CSerialPort port;
    ASSERT_NO_FATAL_FAILURE(OpenAtProgramLine(port, owner));
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_DEVLOST, 1, 30s));
    EXPECT_TRUE(port.IsDeviceLost());
}

TEST(NetworkServer, BytesAServerNeverReadsAreNeverSent) {
    // Its serial side is stuck: it lets the port in and reads nothing, while
    // its system still takes what its receive buffer (a small device
    // server's few kilobytes) holds.
    ScriptedServer server([](ScriptedServer::Connection& connection) { connection.WaitUntilStopping(); }, 4096);
    ASSERT_TRUE(server.IsValid());
    test::PortsFolder folder;
    folder.Link(kPort, "tcp://127.0.0.1:" + std::to_string(server.Port()));
    test::RecordingOwner owner;
    CSerialPort port;
    ASSERT_NO_FATAL_FAILURE(OpenAtProgramLine(port, owner, HandshakeNone));
    const auto started = std::chrono::steady_clock::now();
    const std::string program(60000, 'G');  // a minute of line time
    ASSERT_TRUE(port.Write(program.data(), static_cast<uint32_t>(program.size())));
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_DEVLOST, 1, 40s));
    const auto took = std::chrono::steady_clock::now() - started;
    std::printf("a server that reads nothing dropped after %.1f s\n", std::chrono::duration<double>(took).count());
    EXPECT_EQ(owner.Count(WM_SERIAL_TXEMPTY), 0u);
    EXPECT_LT(took, 30s);
}

TEST(NetworkServer, APortNumberOutsideTheRangeIsRefusedBeforeConnecting) {
    test::PortsFolder folder;
    folder.Link(kPort, "tcp://127.0.0.1:99999");  // would reach 34463
    test::RecordingOwner owner;
    CSerialPort port;
    EXPECT_FALSE(port.Open(&owner, kPort, 0));
    EXPECT_NE(port.LastOpenFailure().systemText.find("1-65535"), std::string::npos)
        << port.LastOpenFailure().systemText;
}

}  // namespace
}  // namespace quorlin
