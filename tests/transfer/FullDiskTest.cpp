// A receive whose file cannot take the bytes (a full disk, played by a file
// size limit on this process) stops and says so.

#include "tests/transfer/EngineFixture.h"
#include "tests/transfer/FileSizeLimit.h"
#include "transfer/TransferFile.h"

namespace quorlin::test {
namespace {

class FullDisk : public EngineFixture {};

TEST_F(FullDisk, ProgramWriterReportsIt) {
    ProgramWriter writer;
    ASSERT_TRUE(writer.Open((folder / "r.nc").string()));
    FileSizeLimit full(2);
    EXPECT_FALSE(writer.Write("N1\n", 3));
}

TEST_F(FullDisk, BlockReceiveStopsWithAMessage) {
    UseFamily(1);
    const std::string path = (folder / "r.nc").string();
    engine->ReceiveFile(path);
    {
        FileSizeLimit full(2);
        ControllerSends("G1\n");
    }
    EXPECT_EQ(port->Written(), "\x1A");  // the controller is told to stop
    EXPECT_TRUE(LogMatches(kTimestamp + "Begin to receive file\r\nG1\n" + kTimestamp +
                           "File receiving stopped: the file could not be written\r\n"))
        << host.log;
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].caption, "Error");
    EXPECT_FALSE(host.progressOpen);
    EXPECT_EQ(engine->LastEndResult(), EndResult::ReceiveWriteFailed);
}

}  // namespace
}  // namespace quorlin::test
