#include <gtest/gtest.h>

#include "sim/LineTiming.h"

namespace quorlin::sim {
namespace {

using namespace std::chrono_literals;

TEST(LineTiming, BitsPerCharacterCountStartDataParityAndStop) {
    EXPECT_EQ(BitTenthsPerChar({9600, 'o', 7, 10}), 100u);    // programs: 10 bits
    EXPECT_EQ(BitTenthsPerChar({115200, 'o', 8, 10}), 110u);  // block downloads: 11 bits
    EXPECT_EQ(BitTenthsPerChar({19200, 'n', 8, 10}), 100u);   // family 2 stream
    EXPECT_EQ(BitTenthsPerChar({9600, 'e', 5, 15}), 85u);     // 1.5 stop bits
}

TEST(LineTiming, CharacterDurationFollowsBaud) {
    EXPECT_EQ(CharDuration({9600, 'o', 7, 10}), 1041667ns);
    EXPECT_EQ(CharDuration({115200, 'o', 8, 10}), 95486ns);
    EXPECT_EQ(CharDuration({19200, 'o', 7, 10}), 520833ns);
}

TEST(LineTiming, SettingsTextRoundTrips) {
    const auto line = ParseLineSettings("115200,o,8,1.5");
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, (LineSettings{115200, 'o', 8, 15}));
    EXPECT_EQ(FormatLineSettings(*line), "115200,o,8,1.5");
    for (const char* bad : {"", "9600", "9600,x,8,1", "9600,o,9,1", "9600,o,8,3", "abc,o,8,1", "9600,o,8,1,"})
        EXPECT_FALSE(ParseLineSettings(bad)) << bad;
}

TEST(LineClock, NeverGrantsMoreThanTheLineCarries) {
    LineClock clock(1ms);
    const auto start = Clock::now();
    std::size_t granted = clock.Grant(start, 1000);
    EXPECT_EQ(granted, 1u);  // the first character starts at once, alone
    // Asking again and again within the same character time gives nothing.
    EXPECT_EQ(clock.Grant(start + 500us, 1000), 0u);
    // Over 100 ms of steady asking exactly 101 characters go.
    for (int step = 1; step <= 400; ++step) granted += clock.Grant(start + step * 250us, 1000);
    EXPECT_EQ(granted, 101u);
}

TEST(LineClock, LateWakeUpCatchesUpWhileCharactersKeepComing) {
    LineClock clock(1ms);
    const auto start = Clock::now();
    clock.Grant(start, 1);
    // Woken 10 ms late: the ten characters that were waiting go in a burst,
    // so the average rate is the line's.
    EXPECT_EQ(clock.Grant(start + 10ms, 1000), 10u);
    EXPECT_EQ(clock.NextStart(), start + 11ms);
}

TEST(LineClock, IdleLineDoesNotEarnABurst) {
    LineClock clock(1ms);
    const auto start = Clock::now();
    clock.Grant(start, 1);
    clock.Restart(start + 50ms);
    EXPECT_EQ(clock.Grant(start + 50ms, 1000), 1u);
    EXPECT_EQ(clock.Grant(start + 50500us, 1000), 0u);
}

TEST(LineClock, ReturnedCharactersCanGoLater) {
    LineClock clock(1ms);
    const auto start = Clock::now();
    clock.Grant(start, 1);
    EXPECT_EQ(clock.Grant(start + 5ms, 1000), 5u);
    clock.Return(3);  // only two were written
    EXPECT_EQ(clock.NextStart(), start + 3ms);
}

}  // namespace
}  // namespace quorlin::sim
