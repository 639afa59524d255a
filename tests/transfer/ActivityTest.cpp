// What a host that gives up on a silent transfer watches: every byte handed
// to the line or stored from it, and the bytes the port still holds.

#include "tests/transfer/EngineFixture.h"

namespace quorlin::test {
namespace {

class LineActivity : public EngineFixture {};

// The zeros behind a short last block move no progress bar, but they are
// the line at work: each piece of them is activity.
TEST_F(LineActivity, EveryPieceOfADownloadBlockCountsTheZeroPaddingToo) {
    UseFamily(3);
    std::string image("%QZ", 3);
    image.append(19, '\0');
    image += std::string(100, '\0');
    engine->DownloadFile(MakeFile("sys.bin", image), DownloadKind::SystemSoftware);
    auto before = engine->LineActivity();
    for (int piece = 0; piece < 65; ++piece) {
        const uint64_t shown = host.progressPos;
        TxEmpty();
        const auto now = engine->LineActivity();
        EXPECT_NE(now, before) << "piece " << piece;
        if (piece > 0) {
            EXPECT_EQ(host.progressPos, shown) << "the padding moves no progress";
        }
        before = now;
    }
    TxEmpty();  // awaiting the answer: nothing moves
    EXPECT_EQ(engine->LineActivity(), before);
}

TEST_F(LineActivity, BytesStillLeavingThePortAreActivity) {
    UseFamily(4);
    engine->SendFile(MakeFile("p.nc", "g1\r\n"));
    const auto start = engine->LineActivity();
    port->SetOutputWaiting(4000);
    const auto draining = engine->LineActivity();
    EXPECT_NE(draining, start);
    EXPECT_EQ(engine->LineActivity(), draining) << "a line that holds still is idle";
    port->SetOutputWaiting(3000);
    EXPECT_NE(engine->LineActivity(), draining);
}

TEST_F(LineActivity, ReceivedBytesStoredAreActivityNoiseBeforeAnAnswerIsNot) {
    UseFamily(1);
    engine->ReceiveFile((folder / "r.nc").string());
    auto before = engine->LineActivity();
    ControllerSends("N1");
    EXPECT_NE(engine->LineActivity(), before);
    engine->OnReceiveDlgCancel();

    UseFamily(3);
    std::string image("%QZ", 3);
    image.append(19, '\0');
    image += std::string(100, '\0');
    engine->DownloadFile(MakeFile("sys.bin", image), DownloadKind::SystemSoftware);
    for (int piece = 0; piece < 66; ++piece) TxEmpty();
    before = engine->LineActivity();
    ControllerSends("noise");
    EXPECT_EQ(engine->LineActivity(), before);
}

}  // namespace
}  // namespace quorlin::test
