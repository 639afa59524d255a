#include <gtest/gtest.h>

#include "sim/Command.h"

namespace quorlin::sim {
namespace {

TEST(SimCommand, SendKeepsBlanksInsideThePath) {
    const auto parsed = ParseCommand("send /tmp/my programs/a.nc  ");
    ASSERT_TRUE(parsed.error.empty());
    EXPECT_EQ(std::get<SendProgram>(parsed.command).path, "/tmp/my programs/a.nc");
}

TEST(SimCommand, ExpectDownloadTakesAnswerNoiseAndSplit) {
    const auto parsed = ParseCommand("expect download blocks answer 11 noise 5a00FF split");
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    const auto& expect = std::get<ExpectDownload>(parsed.command);
    EXPECT_EQ(expect.mode, DownloadMode::Blocks);
    EXPECT_EQ(expect.answer, 0x11);
    EXPECT_EQ(expect.noise, (std::vector<std::uint8_t>{0x5A, 0x00, 0xFF}));
    EXPECT_TRUE(expect.split);
}

TEST(SimCommand, TriggersFireAtAByteCountOrAtOnce) {
    const auto vanish = std::get<Arm>(ParseCommand("vanish hangup at 300").command);
    EXPECT_EQ(vanish.trigger, Trigger::VanishHangUp);
    EXPECT_EQ(vanish.atBytes, 300u);
    const auto pause = std::get<Arm>(ParseCommand("dc3 at 40 resume 250").command);
    EXPECT_EQ(pause.trigger, Trigger::Dc3);
    EXPECT_EQ(pause.atBytes, 40u);
    EXPECT_EQ(pause.resumeMs, 250);
    EXPECT_EQ(std::get<Arm>(ParseCommand("vanish close").command).atBytes, 0u);
}

TEST(SimCommand, MistakesAreExplainedNotGuessed) {
    for (const char* bad : {"sned x", "send", "expect download chunks", "expect download blocks answer 12",
                            "noise 5A0", "vanish soon", "dc3 at x", "line 9600", "pace maybe"})
        EXPECT_FALSE(ParseCommand(bad).error.empty()) << bad;
    EXPECT_TRUE(std::holds_alternative<Empty>(ParseCommand("   # a comment").command));
}

}  // namespace
}  // namespace quorlin::sim
