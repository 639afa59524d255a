// A program whose lines end in CR LF, or in a mix of CR LF and LF, received
// from the controller by quorlin-cli: stored with the line ends it came with,
// a bare LF given its CR, and the log counting the bytes that came.

#include "tests/e2e/TransferFixture.h"

namespace quorlin::e2e {
namespace {

class ReceiveLineEnds : public TransferFixture, public ::testing::WithParamInterface<int> {
protected:
    void Receive(const Bytes& sent, const Bytes& stored) {
        const std::string target = folder_ + "/received.nc";
        StartCli({"receive", target});
        WaitUntilReceiving();
        Sim("send " + Write("controller.nc", sent), "sending program");
        EXPECT_EQ(WaitCli(After(std::chrono::seconds(60))), 0) << CliOutput();
        EXPECT_EQ(Read(target), stored);
        const std::string count = ": " + std::to_string(sent.size()) + " bytes received in ";
        EXPECT_NE(cli_->Out().find(count), std::string::npos) << CliOutput();
    }
};

TEST_P(ReceiveLineEnds, CrLfProgramIsStoredAsItCame) {
    StartSim(GetParam());
    const Bytes program = "%\r\nO2001\r\n" + LongProgram(30) + "M30\r\n%\r\n";
    Bytes crLf;
    for (const char c : program) crLf += c == '\n' && (crLf.empty() || crLf.back() != '\r') ? Bytes("\r\n") : Bytes(1, c);
    Receive(crLf, crLf);
}

TEST_P(ReceiveLineEnds, MixedLineEndsGetACrOnlyWhereNoneCame) {
    StartSim(GetParam());
    Receive("%\r\nO2002\nN1G01X1\r\n\r\nN2\r\rN3\n\nM30\r\n%", "%\r\nO2002\r\nN1G01X1\r\n\r\nN2\r\rN3\r\n\r\nM30\r\n%");
}

INSTANTIATE_TEST_SUITE_P(EchoBlockAndXon, ReceiveLineEnds, ::testing::Values(0, 1, 4),
                         [](const auto& info) { return "family" + std::to_string(info.param); });

}  // namespace
}  // namespace quorlin::e2e
