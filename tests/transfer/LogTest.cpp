// The log, the opening of the port, and the start and end of a transfer.

#include <cctype>
#include <string_view>

#include "tests/transfer/EngineFixture.h"

namespace quorlin::test {
namespace {

// Whether text is shape, where each '#' of shape stands for one or more
// digits and each '?' for one digit (figures that change with the machine's
// speed).
bool HasShape(std::string_view text, std::string_view shape) {
    size_t at = 0;
    for (const char want : shape) {
        if (want == '?') {
            if (at >= text.size() || !std::isdigit(static_cast<unsigned char>(text[at++]))) return false;
            continue;
        }
        if (want != '#') {
            if (at >= text.size() || text[at++] != want) return false;
            continue;
        }
        const size_t start = at;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
        if (at == start) return false;
    }
    return at == text.size();
}

class Log : public EngineFixture {};

TEST_F(Log, TrimsTheFirstTenThousandOnlyAboveSixtyFourThousand) {
    host.log.assign(64000, 'a');
    engine->AppendLog("x");
    EXPECT_EQ(host.log.size(), 64001u);
    host.log = std::string(10000, 'a') + std::string(54001, 'b');
    engine->AppendLog("x");
    EXPECT_EQ(host.log, std::string(54001, 'b') + "x");
}

TEST_F(Log, ReceivedTextIsShownUpToItsFirstNul) {
    ControllerSends(std::string("shown\0hidden", 12));
    EXPECT_EQ(host.log, "shown");
}

TEST_F(Log, ReceivedBytesAreLoggedWhileIdle) {
    ControllerSends("hello");
    ControllerSends(" there");
    EXPECT_EQ(host.log, "hello there");
    EXPECT_TRUE(port->Writes().empty());
}

// The line after the end line: the file, what went over the line and how
// long it took; a transfer that did not complete says how far it got.
TEST_F(Log, EndLineIsFollowedByWhatTheTransferCarried) {
    UseFamily(1);
    const std::string sent = MakeFile("p.nc", "g1\r\ng2\r\n");
    engine->SendFile(sent);
    TxEmpty();
    TxEmpty();
    // The path stays out of the pattern: a Windows path's backslashes are escapes there.
    EXPECT_NE(host.log.find("File sending completed\r\n" + sent + ": 8 bytes sent in "), std::string::npos)
        << host.log;
    const size_t summary = host.log.rfind(": 8 bytes sent in ");
    ASSERT_NE(summary, std::string::npos) << host.log;
    EXPECT_TRUE(HasShape(std::string_view(host.log).substr(summary), ": 8 bytes sent in #.? s (# bytes/s)\r\n"))
        << host.log;

    engine->SendFile(MakeFile("q.nc", std::string(2000, 'g')));
    engine->OnSendDlgCancel();
    EXPECT_NE(host.log.find("q.nc: 511 bytes sent (511 of 2000 bytes of the file) in "), std::string::npos)
        << host.log;

    const std::string received = (folder / "r.nc").string();
    engine->ReceiveFile(received);
    ControllerSends("N1\n\x1A");
    EXPECT_NE(host.log.find(received + ": 3 bytes received in "), std::string::npos) << host.log;
}

TEST_F(Log, TransferHasTimestampedBeginAndEndLinesAroundWhatArrived) {
    UseFamily(1);
    host.log = "previous transfer";
    engine->SendFile(MakeFile("p.nc", "g1\r\n"));
    ControllerSends("ok");
    TxEmpty();
    EXPECT_TRUE(LogMatches(kTimestamp + "Begin to send file\r\nok" + kTimestamp + "File sending completed\r\n"))
        << host.log;
    EXPECT_FALSE(host.busy);
}

TEST_F(Log, EndTransferTwiceLeavesLogAndStateUntouched) {
    UseFamily(1);
    engine->SendFile(MakeFile("p.nc", std::string(600, 'g')));
    engine->OnSendDlgCancel();
    const std::string once = host.log;
    EXPECT_TRUE(LogMatches(kTimestamp + "Begin to send file\r\n" + kTimestamp + "File sending cancelled\r\n"));
    engine->EndTransfer(EndResult::SendFileCompleted);
    engine->OnSendDlgCancel();
    EXPECT_EQ(host.log, once);
    EXPECT_EQ(engine->LastEndResult(), EndResult::SendCancelled);
    EXPECT_FALSE(host.busy);
    // Later port messages find no transfer and only log.
    port->ClearWrites();
    TxEmpty();
    ControllerSends("late");
    EXPECT_TRUE(port->Writes().empty());
}

TEST_F(Log, EveryTransferOpensThePortAtTheStandardLine) {
    host.settings.commPort = 1;
    engine->SendCurrentFile("", "");
    const auto calls = port->Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0], "Open 5");
    EXPECT_EQ(calls[1], "Init");
    EXPECT_EQ(calls[2], "Start");
    EXPECT_EQ(port->Inits().front(), (LineInit{9600, 'o', 7, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY}));
}

TEST_F(Log, MissingPortIsReportedWithItsNumberAndNothingStarts) {
    host.settings.commPort = 3;  // an empty place: port 0
    port->SetOpenResult(false);
    host.log = "kept";
    engine->SendFile(MakeFile("p.nc", "g1"));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Can not open COM0 !");
    EXPECT_EQ(host.messages[0].caption, "Error");
    EXPECT_EQ(host.messages[0].icon, MessageBoxIcon::Error);
    EXPECT_EQ(host.log, "kept");
    EXPECT_FALSE(host.progressOpen);
    EXPECT_FALSE(engine->IsTransferring());
}

TEST_F(Log, FileThatDoesNotOpenIsReportedAndNothingStarts) {
    for (int kind = 0; kind < 3; ++kind) {
        host.messages.clear();
        host.log = "kept";
        const std::string missing = (folder / "no" / "such.nc").string();
        if (kind == 0) engine->SendFile(missing);
        if (kind == 1) engine->ReceiveFile(missing);
        if (kind == 2) engine->DownloadFile(missing, DownloadKind::SystemSoftware);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, "Can't open the file!");
        EXPECT_EQ(host.messages[0].caption, "Error");
        EXPECT_EQ(host.log, "kept");
        EXPECT_FALSE(host.progressOpen);
    }
}

TEST_F(Log, ProgressWindowIsLabelledWithPortFamilyAndPath) {
    UseFamily(4);
    host.settings.commPort = 1;
    const std::string path = MakeFile("p.nc", "g1\r\n");
    engine->SendFile(path);
    EXPECT_TRUE(host.progressOpen);
    EXPECT_EQ(host.progressKind, ProgressKind::Sending);
    EXPECT_EQ(host.progressPort, "COM5");
    EXPECT_EQ(host.progressSystem, "L20,L30,L40,L50");
    EXPECT_EQ(host.progressPath, path);
    EXPECT_EQ(host.progressRange, 4u);
    EXPECT_EQ(host.byteCounts, std::vector<uint64_t>{0});
}

TEST_F(Log, LostDeviceEndsTheTransferWithALogLineAndAMessage) {
    UseFamily(1);
    engine->ReceiveFile((folder / "r.nc").string());
    ControllerSends("N1\n");
    engine->HandleMessage(WM_SERIAL_DEVLOST, 0, 0);
    EXPECT_TRUE(LogMatches(kTimestamp + "Begin to receive file\r\nN1\n" + kTimestamp +
                           "Transfer stopped: the serial port was lost\r\n"))
        << host.log;
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].caption, "Error");
    EXPECT_NE(host.messages[0].text.find("COM3"), std::string::npos);
    EXPECT_FALSE(host.progressOpen);
    EXPECT_FALSE(host.busy);
    EXPECT_EQ(port->Calls().back(), "Close");
    EXPECT_EQ(ReadFile((folder / "r.nc").string()), "N1\r\n");
}

}  // namespace
}  // namespace quorlin::test
