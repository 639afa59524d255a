// What a receive stores: line ends as the controller sent them (a bare LF
// gets its CR), a program up to its SUB and nothing behind it, and the
// bytes behind it taken by the next receive on the same port.

#include "tests/transfer/EngineFixture.h"
#include "transfer/TextRules.h"

namespace quorlin::test {
namespace {

TEST(ReceivedAsStoredText, BareLfGetsACrAndCrLfStaysAsItCameAcrossReads) {
    bool afterCr = false;
    EXPECT_EQ(ReceivedAsStoredText("N1\nN2\r\n\n\r\r\n", 11, afterCr), "N1\r\nN2\r\n\r\n\r\r\n");
    EXPECT_FALSE(afterCr);
    // The pair split between two reads, and a CR that no LF follows.
    EXPECT_EQ(ReceivedAsStoredText("N3\r", 3, afterCr), "N3\r");
    EXPECT_TRUE(afterCr);
    EXPECT_EQ(ReceivedAsStoredText("\nN4\rX\n", 6, afterCr), "\nN4\rX\r\n");
    EXPECT_FALSE(afterCr);
}

class ReceiveRules : public EngineFixture {
protected:
    std::string Path(const char* name) const { return (folder / name).string(); }
};

TEST_F(ReceiveRules, CrLfSplitBetweenReadsIsStoredOnceInEveryProtocol) {
    for (const int family : {0, 1, 4}) {
        UseFamily(family);
        const std::string path = Path(("f" + std::to_string(family) + ".nc").c_str());
        engine->ReceiveFile(path);
        // Echo answers one byte a read, so every byte is a read of its own there.
        for (const std::string read : {"N1\r", "\nN2\n%\r", "\n", "\x1A"}) {
            if (family == 0)
                for (const char c : read) ControllerSends(std::string(1, c));
            else
                ControllerSends(read);
        }
        EXPECT_EQ(ReadFile(path), "N1\r\nN2\r\n%\r\n") << "family " << family;
        EXPECT_EQ(host.byteCount, 11u);
        // The count of what came, not of what was stored.
        EXPECT_NE(host.log.find(": 10 bytes received in "), std::string::npos) << host.log;
    }
}

// A controller that punches several programs at once: the first ends at its
// SUB, and the next receive, on the port as it is, begins with what followed.
TEST_F(ReceiveRules, NextReceiveOnTheOpenPortTakesWhatCameBehindTheSub) {
    UseFamily(1);
    engine->ReceiveFile(Path("a.nc"));
    ControllerSends("%\nO1\n\x1A%\nO2\n\x1A%\nO3");
    EXPECT_EQ(ReadFile(Path("a.nc")), "%\r\nO1\r\n");
    ASSERT_EQ(engine->LastEndResult(), EndResult::ReceiveCompleted);
    ControllerSends("\n");  // while no receive runs

    const size_t calls = port->Calls().size();
    engine->ReceiveNext(Path("b.nc"));
    ASSERT_TRUE(engine->IsTransferring());  // O2 is whole, yet it completes in the host's next turn
    host.Pump(*engine);
    EXPECT_EQ(ReadFile(Path("b.nc")), "%\r\nO2\r\n");
    engine->ReceiveNext(Path("c.nc"));
    host.Pump(*engine);
    ControllerSends("M30\n\x1A");
    EXPECT_EQ(ReadFile(Path("c.nc")), "%\r\nO3\r\nM30\r\n");
    // Neither opened, set up nor purged the port.
    EXPECT_EQ(port->Calls().size(), calls);

    // A receive that opens the port begins afresh, as the desktop's does.
    ControllerSends("stray");
    engine->ReceiveFile(Path("d.nc"));
    ControllerSends("G1\x1A");
    EXPECT_EQ(ReadFile(Path("d.nc")), "G1");
}

TEST_F(ReceiveRules, EchoNextReceiveAnswersTheByteThatCameBeforeIt) {
    UseFamily(0);
    engine->ReceiveFile(Path("a.nc"));
    for (const char c : std::string("A\x1A" "B")) ControllerSends(std::string(1, c));
    engine->ReceiveNext(Path("b.nc"));
    host.Pump(*engine);
    ControllerSends("\x1A");
    EXPECT_EQ(port->Written(), "A\x1A" "B\x1A");
    EXPECT_EQ(ReadFile(Path("a.nc")), "A");
    EXPECT_EQ(ReadFile(Path("b.nc")), "B");
}

}  // namespace
}  // namespace quorlin::test
