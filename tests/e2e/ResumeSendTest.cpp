// Resuming a program part-way: its start, then the program from a block or
// a line on, as each family's controller stores it.

#include "tests/e2e/TransferFixture.h"

namespace quorlin::e2e {
namespace {

const Bytes kProgram =
    "%\r\n"
    "O1234 (BRACKET)\r\n"
    "N10 G90 G00 X0\r\n"
    "N20 g01 x5 +\r\n"
    "N0030 x10\tY2\r\n"
    "\r\n"
    "+N40 M30\r\n"
    "%\r\n";

class ResumeSend : public TransferFixture, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        StartSim(GetParam());
    }

    // The program from N0030 behind its start, as the controller keeps it.
    Bytes ExpectedFromBlock30() const {
        switch (GetParam()) {
        case 0: return "%\nO1234(BRACKET)\nN0030X10\tY2\nN40M30\n%\n";    // Echo drops '+' and empty lines
        case 4: return "%\nO1234(BRACKET)\nN0030X10Y2\n\n+N40M30\n%\n";   // Xon drops tabs, keeps empty lines
        default: return "%\nO1234(BRACKET)\nN0030X10\tY2\n+N40M30\n%\n\n";  // Block: LF then SUB close it
        }
    }

    std::string SendAndStore(const std::vector<std::string>& args, const std::string& begin) {
        StartCli(args);
        if (GetParam() == 4) {
            EXPECT_TRUE(CliPrinted(begin)) << CliOutput();
            Sim("await pc-handshake none", "pc-handshake none");
            Sim("take", "taking program");
        }
        const std::string stored = SimReports("stored program");
        EXPECT_EQ(WaitCli(), 0) << CliOutput();
        return stored.empty() ? std::string() : Read(StoredPath(stored));
    }
};

TEST_P(ResumeSend, FromABlockTheStartGoesFirstThenTheRestAsTheFamilySendsIt) {
    const std::string path = Write("bracket.nc", kProgram);
    EXPECT_EQ(SendAndStore({"send", "--from-block", "30", path}, "Begin to send file"), ExpectedFromBlock30());
    const std::string& log = cli_->Out();
    const size_t begin = log.find("   Begin to send file\r\n");
    ASSERT_NE(begin, std::string::npos) << log;
    EXPECT_EQ(log.find("Sending from block N0030, line 5 of the program\r\n"),
              begin + std::string("   Begin to send file\r\n").size())
        << log;
    EXPECT_NE(log.find("   File sending completed\r\n"), std::string::npos) << log;

    // By line, from the open document's form: the same bytes.
    EXPECT_EQ(SendAndStore({"send", "--document", "--from-line", "5", path}, "Begin to send current opened file"),
              ExpectedFromBlock30());
    EXPECT_NE(cli_->Out().find("   Begin to send current opened file\r\nSending from line 5 of the program\r\n"),
              std::string::npos)
        << CliOutput();
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, ResumeSend, ::testing::Values(0, 1, 2, 3, 4),
                         [](const auto& info) { return "family" + std::to_string(info.param); });

// A number that is not in the program is refused before the port is opened:
// nothing reaches the controller, and the next send arrives alone.
TEST_F(TransferFixture, ResumeAtAMissingBlockOrLineIsRefusedBeforeAnythingIsSent) {
    StartSim(1);
    const std::string path = Write("bracket.nc", kProgram);
    EXPECT_EQ(RunCli({"send", "--from-block", "35", path}), 1) << CliOutput();
    EXPECT_NE(cli_->Err().find("Block N35 is not in the program."), std::string::npos) << CliOutput();
    EXPECT_EQ(cli_->Out(), "") << CliOutput();
    EXPECT_EQ(RunCli({"send", "--from-line", "9", path}), 1) << CliOutput();
    EXPECT_NE(cli_->Err().find("Line 9 is not in the program: it has 8 lines."), std::string::npos) << CliOutput();
    EXPECT_EQ(RunCli({"send", "--from-line", "2", "--from-block", "2", path}), 2) << CliOutput();

    StartCli({"send", Write("alone.nc", "N1 M30\r\n")});
    const std::string stored = SimReports("stored program");
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    EXPECT_EQ(Read(StoredPath(stored)), "N1M30\n\n");
}

}  // namespace
}  // namespace quorlin::e2e
