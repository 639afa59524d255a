// The restore of the standard line one second after a download, and what
// drops it: the next OpenPort, closing the port, destroying the engine.

#include "tests/transfer/EngineFixture.h"
#include "transfer/RestoreWorker.h"

#include <cstdio>

namespace quorlin::test {
namespace {

const LineInit kStandard{9600, 'o', 7, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY};

class Restore : public EngineFixture {
protected:
    void CompleteDownload() {
        UseFamily(0);
        engine->DownloadFile(MakeFile("pic.bmp", "tiny"), DownloadKind::Interface);
        TxEmpty();
        ASSERT_EQ(engine->LastEndResult(), EndResult::SendFileCompleted);
        ASSERT_EQ(port->Inits().size(), 2u);  // standard, then the download's
    }
    // Calls recorded after the last call named name.
    std::vector<std::string> CallsAfterLast(const std::string& name) {
        const auto calls = port->Calls();
        size_t at = calls.size();
        for (size_t i = 0; i < calls.size(); ++i)
            if (calls[i].rfind(name, 0) == 0) at = i;
        return std::vector<std::string>(calls.begin() + static_cast<long>(std::min(at + 1, calls.size())), calls.end());
    }
};

TEST_F(Restore, StandardLineComesBackAfterACompletedDownload) {
    CompleteDownload();
    ASSERT_TRUE(port->WaitForInits(3));
    EXPECT_EQ(port->Inits()[2], kStandard);
}

TEST_F(Restore, NextOpenPortDropsAPendingRestore) {
    CompleteDownload();
    ASSERT_TRUE(engine->OpenPort());
    // Whether or not the second had passed, nothing configures the port after
    // the new Open but OpenPort itself: the worker has ended.
    EXPECT_EQ(CallsAfterLast("Open"), (std::vector<std::string>{"Init", "Start"}));
    engine.reset();
}

TEST_F(Restore, ClosingThePortDropsAPendingRestore) {
    CompleteDownload();
    engine->ClosePort();
    EXPECT_TRUE(CallsAfterLast("Close").empty());
    engine.reset();
}

TEST_F(Restore, DestroyingTheEngineDropsAPendingRestore) {
    CompleteDownload();
    engine.reset();  // must neither wait a second nor touch the destroyed port
    SUCCEED();
}

TEST(RestoreWorker, CancelledWaitNeverConfigures) {
    RecordingPort port;
    RestoreWorker worker(std::chrono::milliseconds(60000));
    worker.Start(port);
    worker.Start(port);  // a second start drops the first
    worker.Cancel();
    EXPECT_TRUE(port.Inits().empty());
}

// Cancel runs on the host's thread: a pending wait ends at once (the promise
// is 50 ms; the bound is generous for a loaded machine).
TEST(RestoreWorker, CancelOfAPendingWaitReturnsAtOnce) {
    RecordingPort port;
    RestoreWorker worker(std::chrono::milliseconds(60000));
    worker.Start(port);
    const auto start = std::chrono::steady_clock::now();
    worker.Cancel();
    const auto took = std::chrono::steady_clock::now() - start;
    std::printf("[ MEASURED ] RestoreWorker::Cancel of a pending wait: %lld us\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(took).count()));
    EXPECT_LT(took, std::chrono::milliseconds(250));
    EXPECT_TRUE(port.Inits().empty());
}

TEST(RestoreWorker, ConfiguresOnceAfterItsDelay) {
    RecordingPort port;
    RestoreWorker worker(std::chrono::milliseconds(1));
    worker.Start(port);
    ASSERT_TRUE(port.WaitForInits(1));
    worker.Cancel();
    EXPECT_EQ(port.Inits(), std::vector<LineInit>{kStandard});
}

}  // namespace
}  // namespace quorlin::test
