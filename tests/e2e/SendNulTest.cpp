// A program punched with a paper-tape leader of NULs and a NUL inside a
// block, sent to each family's controller: as a file, as the open document
// and resumed part-way. The NULs are fill and stay behind; every other byte
// reaches the controller as that family sends it.

#include "tests/e2e/TransferFixture.h"

namespace quorlin::e2e {
namespace {

const Bytes kNul(1, '\0');

// Block N250 carries a NUL between two words; the tape's first 511 bytes,
// the piece a Block send reads first, begin with the leader.
Bytes Tape() {
    Bytes tape = Bytes(20, '\0') + "%\r\nO0001 (LEADER)\r\n";
    for (int n = 1; n <= 40; ++n) {
        const std::string block = "N" + std::to_string(n * 10) + " G01 X" + std::to_string(n) + ".";
        tape += block + (n == 25 ? kNul : Bytes()) + " Y2.\r\n";
    }
    return tape + "M30\r\n%\r\n" + Bytes(10, '\0');
}

// The program as the controller keeps it from block `from` on, behind the
// start. No family changes these lines beyond dropping blanks (no '+', tab
// or empty line in them); a Block send closes with LF SUB.
Bytes Kept(int family, int from) {
    Bytes kept = "%\nO0001(LEADER)\n";
    for (int n = from; n <= 40; ++n) kept += "N" + std::to_string(n * 10) + "G01X" + std::to_string(n) + ".Y2.\n";
    kept += "M30\n%\n";
    return family == 0 || family == 4 ? kept : kept + "\n";
}

class SendNul : public TransferFixture, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        StartSim(GetParam());
        path_ = Write("tape.nc", Tape());
    }

    std::string SendAndStore(const std::vector<std::string>& options, const std::string& begin) {
        std::vector<std::string> args = {"send"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(path_);
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

    std::string path_;
};

TEST_P(SendNul, LeaderAndFillStayBehindAndEveryOtherByteArrives) {
    const int family = GetParam();
    EXPECT_EQ(SendAndStore({}, "Begin to send file"), Kept(family, 1));
    EXPECT_EQ(SendAndStore({"--document"}, "Begin to send current opened file"), Kept(family, 1));
    // The leader shares line 1 with the '%'; the program's lines count as
    // the editor counts them.
    EXPECT_EQ(SendAndStore({"--from-block", "250"}, "Begin to send file"), Kept(family, 25));
    EXPECT_NE(cli_->Out().find("Sending from block N250, line 27 of the program\r\n"), std::string::npos)
        << CliOutput();
    EXPECT_EQ(SendAndStore({"--document", "--from-line", "28"}, "Begin to send current opened file"),
              Kept(family, 26));
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, SendNul, ::testing::Values(0, 1, 2, 3, 4),
                         [](const auto& info) { return "family" + std::to_string(info.param); });

}  // namespace
}  // namespace quorlin::e2e
