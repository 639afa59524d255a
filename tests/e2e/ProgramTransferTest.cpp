// Sending a file and a document, and receiving a program, for every family,
// at the family's line settings.

#include "tests/e2e/TransferFixture.h"

namespace quorlin::e2e {
namespace {

struct Line {
    int family;
    int baudIndex;
    unsigned baud;  // what the PC must set for programs
};

void PrintTo(const Line& line, std::ostream* out) { *out << "family" << line.family << "_baud" << line.baud; }

class ProgramTransfer : public TransferFixture, public ::testing::WithParamInterface<Line> {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        extraCliOptions_ = {"--baud-index", std::to_string(GetParam().baudIndex)};
        StartSim(GetParam().family, {"--baud-index", std::to_string(GetParam().baudIndex)});
    }

    // The program as the controller keeps it, for the file "g01 x1", an
    // empty line, "+m30" (each line ended by CR LF).
    Bytes ExpectedProgram() const {
        switch (GetParam().family) {
        case 0: return "G01X1\nM30\n";       // Echo drops '+' and the empty line
        case 4: return "G01X1\n\n+M30\n";    // Xon keeps the empty line
        default: return "G01X1\n+M30\n\n";   // Block: LF then SUB close it
        }
    }

    // Xon: the controller asks for the program once the PC waits for it.
    void ControllerAsksIfXon(const std::string& begin) {
        if (GetParam().family != 4) return;
        ASSERT_TRUE(CliPrinted(begin)) << CliOutput();
        // Setting up the Xon line empties the port's queues: ask after it.
        Sim("await pc-handshake none", "pc-handshake none");
        Sim("take", "taking program");
    }

    void ExpectSendLog(const std::string& beginText) {
        const std::string& log = cli_->Out();
        EXPECT_EQ(log.rfind("\r\n", 0), 0u) << log;  // the log starts with an empty line
        EXPECT_NE(log.find("   " + beginText + "\r\n"), std::string::npos) << log;
        EXPECT_NE(log.find("   File sending completed\r\n"), std::string::npos) << log;
    }
};

const Bytes kFile = "g01 x1\r\n\r\n+m30\r\n";

TEST_P(ProgramTransfer, FileArrivesInTheFamilysProtocol) {
    const std::string path = Write("part.nc", kFile);
    StartCli({"send", path});
    ControllerAsksIfXon("Begin to send file");
    const std::string started = SimReports("program started");
    EXPECT_EQ(Field(started, "pc-baud"), GetParam().baud);
    const std::string stored = SimReports("stored program");
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    EXPECT_EQ(Read(StoredPath(stored)), ExpectedProgram());
    ExpectSendLog("Begin to send file");
}

TEST_P(ProgramTransfer, DocumentArrivesLikeTheFile) {
    const std::string path = Write("doc.nc", kFile);
    StartCli({"send", "--document", path});
    ControllerAsksIfXon("Begin to send current opened file");
    const std::string stored = SimReports("stored program");
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    EXPECT_EQ(Read(StoredPath(stored)), ExpectedProgram());
    ExpectSendLog("Begin to send current opened file");
}

TEST_P(ProgramTransfer, ReceivedProgramIsStoredWithCrLf) {
    const std::string program = Write("controller.nc", "N1G0X10\n%\nM30\n");
    const std::string target = folder_ + "/received.nc";
    StartCli({"receive", target});
    WaitUntilReceiving();
    Sim("send " + program, "sending program");
    SimReports("sent program");
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    EXPECT_EQ(Read(target), "N1G0X10\r\n%\r\nM30\r\n");
    const std::string& log = cli_->Out();
    EXPECT_NE(log.find("N1G0X10\n%\nM30\n"), std::string::npos) << log;  // the received bytes, as they came
    EXPECT_NE(log.find("   File receiving completed\r\n"), std::string::npos) << log;
}

TEST_P(ProgramTransfer, LongProgramGoesWholeBothWays) {
    const Bytes text = LongProgram(1500);  // about 30 KB: many pieces and Xon blocks
    StartCli({"send", Write("long.nc", text)});
    ControllerAsksIfXon("Begin to send file");
    // Echo at 9600 baud carries it in some 20 s on its own: the wait is what a
    // loaded machine needs, not the usual one.
    const std::string stored = SimReports("stored program", After(std::chrono::seconds(90)));
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    const Bytes sent = Read(StoredPath(stored));
    EXPECT_EQ(sent.size(), text.size() + (GetParam().family == 0 || GetParam().family == 4 ? 0 : 1));
    EXPECT_EQ(sent.substr(0, text.size()), text);

    const std::string target = folder_ + "/back.nc";
    StartCli({"receive", target});
    WaitUntilReceiving();
    Sim("send " + StoredPath(stored), "sending program");
    SimReports("sent program", After(std::chrono::seconds(90)));
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    Bytes withCrLf;
    for (const char c : sent) withCrLf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(Read(target), withCrLf);
}

class PaperTape : public TransferFixture, public ::testing::WithParamInterface<int> {};

// NUL leaders and trailers and a NUL inside a line come in the same reads as
// the program: they are skipped and every other byte is stored (the whole
// read, SUB included, was once lost behind the first NUL).
TEST_P(PaperTape, NulFillIsSkippedAndTheProgramKept) {
    StartSim(GetParam());
    const Bytes tape = Bytes(40, '\0') + "%\nO1234\nN1 G01 X1" + Bytes(1, '\0') + "Y2\nN2 M30\n%\n" + Bytes(60, '\0');
    const std::string target = folder_ + "/received.nc";
    StartCli({"receive", target});
    WaitUntilReceiving();
    Sim("send " + Write("tape.nc", tape), "sending program");
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    EXPECT_EQ(Read(target), "%\r\nO1234\r\nN1 G01 X1Y2\r\nN2 M30\r\n%\r\n");
}

INSTANTIATE_TEST_SUITE_P(BlockAndXon, PaperTape, ::testing::Values(1, 4),
                         [](const auto& info) { return "family" + std::to_string(info.param); });

// The controller stops an Xon send with DC3: the send ends as stopped by the
// controller, the person learns after how many bytes, and the tool exits 1.
TEST_F(TransferFixture, XonSendStoppedByTheControllerIsNoCompletedSend) {
    StartSim(4);
    Sim("dc3 at 2000", "armed dc3");
    StartCli({"send", Write("long.nc", LongProgram(2000))});
    ASSERT_TRUE(CliPrinted("Begin to send file")) << CliOutput();
    Sim("await pc-handshake none", "pc-handshake none");
    Sim("take", "taking program");
    const std::string abandoned = SimReports("program abandoned after");
    EXPECT_EQ(WaitCli(), 1) << CliOutput();
    EXPECT_NE(cli_->Out().find("   File sending stopped by the controller (DC3)\r\n"), std::string::npos)
        << CliOutput();
    EXPECT_EQ(cli_->Out().find("completed"), std::string::npos) << CliOutput();
    const std::string bytes = std::to_string(Field(abandoned, "after"));
    EXPECT_NE(cli_->Err().find("after " + bytes + " bytes"), std::string::npos) << abandoned << CliOutput();
    EXPECT_NE(cli_->Out().find(": " + bytes + " bytes sent ("), std::string::npos) << abandoned << CliOutput();
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, ProgramTransfer,
                         ::testing::Values(Line{0, 0, 9600}, Line{1, 0, 9600}, Line{2, 0, 9600}, Line{3, 0, 9600},
                                           Line{4, 0, 9600}, Line{4, 1, 19200}),
                         [](const auto& info) {
                             return "family" + std::to_string(info.param.family) + "_" +
                                    std::to_string(info.param.baud);
                         });

}  // namespace
}  // namespace quorlin::e2e
