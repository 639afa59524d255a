#include <gtest/gtest.h>

#include <limits>

#include "cli/ArgParser.h"

using quorlin::cli::OptionSpec;
using quorlin::cli::ParseArgs;
using quorlin::cli::ParsedArgs;

namespace {
const std::vector<OptionSpec> kSpec = {{"type", true}, {"tag", true}, {"dat", false}};
}

TEST(ArgParser, TakesValuesFlagsAndPositionalsInAnyOrder) {
    ParsedArgs args;
    ASSERT_FALSE(ParseArgs({"folder", "--type", "2", "--dat", "--tag=a.bin=SYS", "--tag", "b.bin=QZSYS"},
                           kSpec, args));
    EXPECT_EQ(args.Value("type"), "2");
    EXPECT_TRUE(args.Has("dat"));
    EXPECT_EQ(args.Values("tag"), (std::vector<std::string>{"a.bin=SYS", "b.bin=QZSYS"}));
    EXPECT_EQ(args.Positional(), std::vector<std::string>{"folder"});
}

TEST(ArgParser, RefusesWhatItCannotUnderstand) {
    ParsedArgs args;
    EXPECT_EQ(ParseArgs({"--bogus"}, kSpec, args), "unknown option --bogus");
    EXPECT_EQ(ParseArgs({"--type"}, kSpec, args), "option --type needs a value");
    EXPECT_EQ(ParseArgs({"--dat=1"}, kSpec, args), "option --dat takes no value");
}

TEST(ArgParser, DoubleDashEndsOptionsAndEmptyValuesCount) {
    ParsedArgs args;
    ASSERT_FALSE(ParseArgs({"--type", "", "--", "--dat"}, kSpec, args));
    EXPECT_EQ(args.Value("type"), "");
    EXPECT_FALSE(args.Has("dat"));
    EXPECT_EQ(args.Positional(), std::vector<std::string>{"--dat"});
}

TEST(ArgParser, NumbersMustBeWholeAndInRange) {
    EXPECT_EQ(quorlin::cli::ParseNumber("2", 0, 2), 2);
    EXPECT_FALSE(quorlin::cli::ParseNumber("3", 0, 2));
    EXPECT_FALSE(quorlin::cli::ParseNumber("1x", 0, 2));
    EXPECT_FALSE(quorlin::cli::ParseNumber("", 0, 2));
}

TEST(ArgParser, NumbersTakeOnlyTheirOnePlainSpelling) {
    using quorlin::cli::ParseNumber;
    for (const char* other : {" 1", "1 ", "+2", "-0", "01", "00", "0x1", "1e0", "1.0", "-", "--1", "\t1"})
        EXPECT_FALSE(ParseNumber(other, -5, 5)) << "'" << other << "'";
    EXPECT_EQ(ParseNumber("0", -5, 5), 0);
    EXPECT_EQ(ParseNumber("-5", -5, 5), -5);
    EXPECT_FALSE(ParseNumber("-6", -5, 5));
    EXPECT_FALSE(ParseNumber("-1", 0, 5));
    EXPECT_FALSE(ParseNumber("-1", -9, -2));
    EXPECT_EQ(ParseNumber("86400", 0, 86400), 86400);
}

TEST(ArgParser, NumbersBeyondTheTypeAreRefusedNotWrapped) {
    using quorlin::cli::ParseNumber;
    constexpr long kMax = std::numeric_limits<long>::max();
    constexpr long kMin = std::numeric_limits<long>::min();
    EXPECT_EQ(ParseNumber(std::to_string(kMax), 0, kMax), kMax);
    EXPECT_EQ(ParseNumber(std::to_string(kMin), kMin, 0), kMin);
    EXPECT_FALSE(ParseNumber("9223372036854775808", 0, kMax));
    EXPECT_FALSE(ParseNumber("18446744073709551617", 0, kMax));  // would wrap to 1 in 64 bits
    EXPECT_FALSE(ParseNumber("-9223372036854775809", kMin, 0));
}
