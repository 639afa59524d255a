// Block (families 1 to 3): cleaned pieces of 511 per empty transmit queue;
// receiving stores chunks up to SUB.

#include "tests/transfer/EngineFixture.h"

namespace quorlin::test {
namespace {

class Block : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        UseFamily(1);
    }
    void TxEmptyUntilDone(int limit = 10000) {
        while (engine->IsTransferring() && limit-- > 0) TxEmpty();
    }
};

TEST_F(Block, SendsTheByteTableRowInOneWriteThenLfSub) {
    engine->SendFile(MakeFile("p.nc", "g01 x1\r\n\r\n+m30\r\n"));
    EXPECT_EQ(port->Writes(), std::vector<std::string>{"G01X1\n+M30\n"});
    EXPECT_TRUE(engine->IsTransferring());
    TxEmpty();
    EXPECT_EQ(port->Writes(), (std::vector<std::string>{"G01X1\n+M30\n", "\n\x1A"}));
    EXPECT_EQ(engine->LastEndResult(), EndResult::SendFileCompleted);
    EXPECT_FALSE(host.progressOpen);
}

TEST_F(Block, DocumentOf1022CharactersGoesInTwoPiecesThenLfSub) {
    const std::string text = std::string(510, 'a') + "\n" + std::string(510, 'b') + "\n";
    ASSERT_EQ(text.size(), 1022u);
    engine->SendCurrentFile(text, "");
    TxEmpty();
    EXPECT_EQ(port->Writes().size(), 2u);
    EXPECT_TRUE(engine->IsTransferring());
    TxEmpty();
    EXPECT_EQ(port->Writes(), (std::vector<std::string>{std::string(510, 'A') + "\n",
                                                        std::string(510, 'B') + "\n", "\n\x1A"}));
    EXPECT_EQ(host.byteCounts, (std::vector<uint64_t>{0, 511, 1022}));
    EXPECT_EQ(engine->LastEndResult(), EndResult::SendDocumentCompleted);
}

TEST_F(Block, LfRunAcrossPiecesLeavesOneLfOnEachSide) {
    engine->SendCurrentFile(std::string(510, 'a') + "\n\n\nb", "");
    TxEmptyUntilDone();
    EXPECT_EQ(port->Writes(), (std::vector<std::string>{std::string(510, 'A') + "\n", "\nB", "\n\x1A"}));
}

// A NUL is tape fill, no character of the text: the rest of its piece
// still goes (it once ended the piece there, losing the bytes behind it).
TEST_F(Block, NulInsideAPieceIsSkippedAndTheRestOfThePieceSent) {
    engine->SendFile(MakeFile("p.nc", std::string("g1\0 kept\r\n", 10) + std::string(600, 'x')));
    EXPECT_EQ(port->Writes(), std::vector<std::string>{"G1KEPT\n" + std::string(503, 'X')});
    TxEmptyUntilDone();
    EXPECT_EQ(port->Writes(),
              (std::vector<std::string>{"G1KEPT\n" + std::string(503, 'X'), std::string(97, 'X'), "\n\x1A"}));
}

TEST_F(Block, SubInsideAFileEndsIt) {
    engine->SendFile(MakeFile("p.nc", "g1\r\n\x1Ag2\r\n"));
    TxEmptyUntilDone();
    EXPECT_EQ(port->Writes(), (std::vector<std::string>{"G1\n", "\n\x1A"}));
}

TEST_F(Block, PieceThatCleansToNothingDoesNotStallTheSend) {
    engine->SendFile(MakeFile("p.nc", std::string(511, ' ') + std::string("\0\0", 2) + std::string(509, ' ') + "g1"));
    EXPECT_EQ(port->Writes(), std::vector<std::string>{"G1"});
    TxEmpty();
    EXPECT_EQ(engine->LastEndResult(), EndResult::SendFileCompleted);
    // A file of nothing but blanks ends at once with LF SUB.
    port->ClearWrites();
    engine->SendFile(MakeFile("blank.nc", std::string(2000, ' ')));
    EXPECT_EQ(port->Writes(), std::vector<std::string>{"\n\x1A"});
    EXPECT_FALSE(engine->IsTransferring());
}

TEST_F(Block, ProgressFollowsTheFileOffset) {
    engine->SendFile(MakeFile("p.nc", std::string(700, 'g')));
    TxEmptyUntilDone();
    EXPECT_EQ(host.progressRange, 700u);
    EXPECT_EQ(host.byteCounts, (std::vector<uint64_t>{0, 511, 700}));
    EXPECT_EQ(host.progressPos, 700u);
}

TEST_F(Block, CancelEndsTheSendAndNothingMoreGoesOut) {
    engine->SendFile(MakeFile("p.nc", std::string(2000, 'g')));
    engine->OnSendDlgCancel();
    TxEmpty();
    EXPECT_EQ(port->Writes().size(), 1u);
    EXPECT_EQ(engine->LastEndResult(), EndResult::SendCancelled);
}

TEST_F(Block, ReceiveStoresChunkUpToSubWithTheCounter) {
    const std::string path = (folder / "r.nc").string();
    engine->ReceiveFile(path);
    ControllerSends("N1G0\n%\x1A");
    EXPECT_EQ(ReadFile(path), "N1G0\r\n%");
    EXPECT_EQ(host.byteCount, 7u);
    EXPECT_EQ(engine->LastEndResult(), EndResult::ReceiveCompleted);
    EXPECT_TRUE(port->Writes().empty());  // the PC sends nothing back
}

// What follows the SUB in the same read is the start of another program.
TEST_F(Block, ReceiveStoresUpToASubInTheMiddleAndNothingBehindIt) {
    const std::string path = (folder / "r.nc").string();
    engine->ReceiveFile(path);
    ControllerSends("G1\n");
    ControllerSends("G2\x1AG3\n");
    EXPECT_EQ(ReadFile(path), "G1\r\nG2");
    EXPECT_EQ(host.byteCounts, (std::vector<uint64_t>{0, 4, 6}));
    EXPECT_EQ(engine->LastEndResult(), EndResult::ReceiveCompleted);
}

// Paper tape: NUL leaders and trailers, and a NUL inside a line, are
// skipped; every other byte is stored.
TEST_F(Block, ReceiveSkipsNulBytesAndKeepsWhatFollowsThem) {
    const std::string path = (folder / "r.nc").string();
    engine->ReceiveFile(path);
    ControllerSends(std::string(20, '\0') + std::string("G1\0G2\nM30\n", 10) + std::string(30, '\0'));
    ControllerSends(std::string("\0\0\x1A", 3));
    EXPECT_EQ(ReadFile(path), "G1G2\r\nM30\r\n");
    EXPECT_EQ(engine->LastEndResult(), EndResult::ReceiveCompleted);
}

TEST_F(Block, ReceiveReadsABacklogInPiecesOf511) {
    const std::string path = (folder / "r.nc").string();
    engine->ReceiveFile(path);
    ControllerSends(std::string(1200, 'x') + "\x1A");
    EXPECT_EQ(ReadFile(path), std::string(1200, 'x'));
    EXPECT_EQ(host.byteCounts, (std::vector<uint64_t>{0, 511, 1022, 1200}));
}

TEST_F(Block, ReceiveIntoAnExistingFileStartsItEmpty) {
    const std::string path = MakeFile("r.nc", "an older program, longer than the new one");
    engine->ReceiveFile(path);
    ControllerSends("G1\x1A");
    EXPECT_EQ(ReadFile(path), "G1");
    EXPECT_FALSE(std::filesystem::exists(folder / "r.partial.nc"));
}

// The old program survives a receive that does not complete: what came is
// kept beside it, under a name that says so. Into a new name, what came
// stays under that name.
TEST_F(Block, ReceiveThatDoesNotCompleteLeavesTheOldProgram) {
    const std::string old = "an older program";
    const std::string path = MakeFile("r.nc", old);
    engine->ReceiveFile(path);
    EXPECT_EQ(ReadFile(path), old);
    ControllerSends("G1\nG2");
    engine->OnReceiveDlgCancel();
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(ReadFile((folder / "r.partial.nc").string()), "G1\r\nG2");
    EXPECT_NE(host.log.find("kept as " + (folder / "r.partial.nc").string()), std::string::npos) << host.log;

    engine->ReceiveFile(path);  // cancelled before anything came: nothing beside it
    engine->OnReceiveDlgCancel();
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_FALSE(std::filesystem::exists(folder / "r.partial.nc"));

    const std::string fresh = (folder / "new.nc").string();
    engine->ReceiveFile(fresh);
    ControllerSends("G3");
    engine->OnReceiveDlgCancel();
    EXPECT_EQ(ReadFile(fresh), "G3");
}

}  // namespace
}  // namespace quorlin::test
