#include <gtest/gtest.h>

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
