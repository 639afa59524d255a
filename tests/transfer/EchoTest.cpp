// Echo (family 0): one character per answer of the controller, both ways.

#include "tests/transfer/EngineFixture.h"

namespace quorlin::test {
namespace {

class Echo : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        UseFamily(0);
    }
    // Answers every character until the transfer ends; returns what was sent.
    std::string AnswerUntilDone(int limit = 10000) {
        while (engine->IsTransferring() && limit-- > 0) ControllerSends("k");
        return port->Written();
    }
};

TEST_F(Echo, SendsTheByteTableRowOneByteAtATime) {
    engine->SendFile(MakeFile("p.nc", "g01 x1\r\n\r\n+m30\r\n"));
    EXPECT_EQ(port->Writes(), std::vector<std::string>{"G"});  // the first goes out at once
    EXPECT_EQ(AnswerUntilDone(), "G01X1\nM30\n\x1A");
    for (const auto& write : port->Writes()) EXPECT_EQ(write.size(), 1u);
    EXPECT_EQ(engine->LastEndResult(), EndResult::SendFileCompleted);
    EXPECT_FALSE(host.progressOpen);
    EXPECT_TRUE(LogMatches(kTimestamp + "Begin to send file\r\n" + std::string(10, 'k') + kTimestamp + "File sending completed\r\n"))
        << host.log;
}

TEST_F(Echo, LastCharacterCarriesOverToTheNextSend) {
    const std::string empty = MakeFile("empty.nc", "");
    engine->SendFile(empty);
    EXPECT_EQ(port->Written(), "\n");  // right after start the last character is NUL
    ControllerSends("k");
    EXPECT_EQ(port->Written(), "\n\x1A");
    EXPECT_FALSE(engine->IsTransferring());

    port->ClearWrites();
    engine->SendFile(empty);  // the previous send ended on LF: SUB at once
    EXPECT_EQ(port->Written(), "\x1A");
    EXPECT_FALSE(engine->IsTransferring());

    port->ClearWrites();
    engine->SendFile(MakeFile("lead.nc", "\r\n\r\na"));  // leading empty lines dropped after an LF
    EXPECT_EQ(AnswerUntilDone(), "A\n\x1A");
}

TEST_F(Echo, LineEndsSeparatedOnlyByIgnoredBytesGoOutOnce) {
    engine->SendFile(MakeFile("p.nc", std::string("a\n \r+\0\n\nb", 9)));
    EXPECT_EQ(AnswerUntilDone(), "A\nB\n\x1A");
}

TEST_F(Echo, DocumentHasItsOwnLastCharacter) {
    engine->SendFile(MakeFile("p.nc", "a\r\n"));
    AnswerUntilDone();
    port->ClearWrites();
    engine->SendCurrentFile("", "doc.nc");  // the document's last character is still NUL
    EXPECT_EQ(port->Written(), "\n");
    EXPECT_EQ(AnswerUntilDone(), "\n\x1A");
    EXPECT_TRUE(LogMatches(kTimestamp + "Begin to send current opened file\r\nk" + kTimestamp +
                           "File sending completed\r\n"));
    EXPECT_EQ(engine->LastEndResult(), EndResult::SendDocumentCompleted);
}

TEST_F(Echo, DocumentProgressCountsCharactersTaken) {
    engine->SendCurrentFile("g1\r\n", "");
    AnswerUntilDone();
    EXPECT_EQ(host.progressRange, 4u);
    EXPECT_EQ(host.byteCounts, (std::vector<uint64_t>{0, 1, 2, 4}));
}

TEST_F(Echo, ReceiveEchoesEveryByteAndStoresUpToSub) {
    const std::string path = (folder / "r.nc").string();
    engine->ReceiveFile(path);
    EXPECT_EQ(host.progressKind, ProgressKind::Receiving);
    ControllerSends("A");
    ControllerSends("\n");
    ControllerSends("\x1A");
    EXPECT_EQ(port->Written(), "A\n\x1A");
    EXPECT_EQ(ReadFile(path), "A\r\n");
    EXPECT_EQ(host.byteCounts, (std::vector<uint64_t>{0, 1, 3}));
    EXPECT_TRUE(LogMatches(kTimestamp + "Begin to receive file\r\nA\n\x1A" + kTimestamp +
                           "File receiving completed\r\n"))
        << host.log;
    EXPECT_FALSE(host.progressOpen);
}

TEST_F(Echo, ReceiveStoresANulFirstByteButNotAnEmptyRead) {
    const std::string path = (folder / "r.nc").string();
    engine->ReceiveFile(path);
    ControllerSends(std::string("\0", 1));
    // A message whose bytes an earlier one already took finds nothing.
    engine->HandleMessage(WM_SERIAL_RXDATA, 0, 1);
    ControllerSends("\x1A");
    EXPECT_EQ(port->Written(), std::string("\0\x1A", 2));
    EXPECT_EQ(ReadFile(path), std::string("\0", 1));
}

TEST_F(Echo, ReceiveCancelSendsOneSubAndKeepsWhatWasStored) {
    const std::string path = (folder / "r.nc").string();
    engine->ReceiveFile(path);
    ControllerSends("N");
    engine->OnReceiveDlgCancel();
    EXPECT_EQ(port->Written(), "N\x1A");
    EXPECT_EQ(ReadFile(path), "N");
    EXPECT_TRUE(LogMatches(kTimestamp + "Begin to receive file\r\nN" + kTimestamp + "File receiving cancelled\r\n"));
    EXPECT_EQ(engine->LastEndResult(), EndResult::ReceiveCancelled);
}

}  // namespace
}  // namespace quorlin::test
