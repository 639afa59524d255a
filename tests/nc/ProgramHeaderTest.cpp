// The name of a program a controller punches out, and the program a request
// asks for.

#include <gtest/gtest.h>

#include "nc/ProgramHeader.h"

namespace quorlin::nc {
namespace {

TEST(ProgramHeader, TheNumberIsOnTheFirstLineThatIsNoCommentAndNoPercent) {
    EXPECT_EQ(ProgramNumber("%\r\n(TURNED SHAFT)\r\n  O0012 (PART)\r\nN1G01X1\r\n"), "0012");
    EXPECT_EQ(ProgramNumber(":1234\n"), "1234");
    // A program that starts with a block has no number, even if one follows.
    EXPECT_EQ(ProgramNumber("N1G01X1\nO1234\n"), std::nullopt);
    EXPECT_EQ(ProgramNumber("O1234567890\n"), std::nullopt);
    EXPECT_EQ(ProgramNumber("%\n%\n"), std::nullopt);
}

TEST(ProgramHeader, ARequestCommentNamesItsNumberWhateverTheCaseAndBlanks) {
    const auto comment = FirstComment("%\nO9999\n( req  o1234 )\n(SECOND)\n");
    ASSERT_EQ(comment, "req  o1234");
    EXPECT_EQ(MatchNumberPattern(*comment, "REQ O{number}"), "1234");
    EXPECT_EQ(MatchNumberPattern("PRG=77", "REQ O{number}"), std::nullopt);
    EXPECT_EQ(MatchNumberPattern("PRG=77", "PRG={number}"), "77");
    EXPECT_EQ(MatchNumberPattern("PRG=7A", "PRG={number}"), std::nullopt);
    EXPECT_EQ(MatchNumberPattern("PRG=", "PRG={number}"), std::nullopt);
    EXPECT_EQ(FirstComment("O1\nM30\n"), std::nullopt);
    EXPECT_TRUE(SameProgramNumber("09999", "9999"));
    EXPECT_FALSE(SameProgramNumber("999", "9999"));
}

}  // namespace
}  // namespace quorlin::nc
