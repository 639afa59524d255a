#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/ProgramTaker.h"

namespace quorlin::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Feeds `input`; returns the replies; `complete` tells whether it ended.
Bytes Feed(ProgramTaker& taker, const std::string& input, bool& complete) {
    Bytes reply;
    complete = false;
    for (const char c : input) complete = taker.Feed(static_cast<std::uint8_t>(c), reply);
    return reply;
}

TEST(ProgramTaker, EchoAnswersEveryCharacterButTheClosingSub) {
    ProgramTaker taker(Protocol::Echo);
    EXPECT_TRUE(taker.Start().empty());
    bool complete = false;
    EXPECT_EQ(Feed(taker, "G01X1\nM30\n\x1a", complete), Of("G01X1\nM30\n"));
    EXPECT_TRUE(complete);
    EXPECT_EQ(taker.TakeProgram(), Of("G01X1\nM30\n"));
}

TEST(ProgramTaker, BlockTakesSilentlyUntilSub) {
    ProgramTaker taker(Protocol::Block);
    bool complete = false;
    EXPECT_TRUE(Feed(taker, "G01X1\n+M30\n", complete).empty());
    EXPECT_FALSE(complete);
    Feed(taker, "\n\x1a", complete);
    EXPECT_TRUE(complete);
    EXPECT_EQ(taker.TakeProgram(), Of("G01X1\n+M30\n\n"));
    EXPECT_EQ(taker.Received(), 0u);  // the next program starts afresh
}

TEST(ProgramTaker, XonAsksWithDc1AndAgainAfterEachEscBlock) {
    ProgramTaker taker(Protocol::Xon);
    EXPECT_EQ(taker.Start(), Bytes{kDC1});
    bool complete = false;
    EXPECT_EQ(Feed(taker, "G01X1\n\x1b", complete), Bytes{kDC1});
    EXPECT_FALSE(complete);
    EXPECT_TRUE(Feed(taker, "\n+M30\n\x1a", complete).empty());
    EXPECT_TRUE(complete);
    EXPECT_EQ(taker.Blocks(), 2u);
    EXPECT_EQ(taker.TakeProgram(), Of("G01X1\n\n+M30\n"));  // framing removed
}

}  // namespace
}  // namespace quorlin::sim
