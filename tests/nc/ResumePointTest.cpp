// Where a resumed send starts: the program's start is kept only where the
// program has one, and never twice; the point offered at the caret resumes
// at that very line.

#include <gtest/gtest.h>

#include "nc/ResumePoint.h"

namespace quorlin::nc {
namespace {

TEST(ResumePoint, TheStartGoesFirstOnlyOnceAndOnlyWhereThereIsOne) {
    const std::string program = "\n%\nO0007 (SHAFT)\nN10 G0 X0\n/N0020 M01\nN30 M30\n%";
    // A block behind a skip mark, its number written with zeros.
    ResumeText at20 = PrepareResume(program, {ResumeBy::Block, 20});
    EXPECT_EQ(at20.text, "\n%\nO0007 (SHAFT)\n/N0020 M01\nN30 M30\n%");
    EXPECT_EQ(at20.blockWord, "N0020");
    EXPECT_EQ(at20.line, 5);
    // From a line inside the start: nothing is repeated.
    EXPECT_EQ(PrepareResume(program, {ResumeBy::Line, 3}).text, "\n%\nO0007 (SHAFT)\nN10 G0 X0\n/N0020 M01\nN30 M30\n%");
    // No '%' and no program number: the blocks alone.
    EXPECT_EQ(PrepareResume("N1 G0\r\nN2 M30\r\n", {ResumeBy::Block, 2}).text, "N2 M30\r\n");
    // The program number is not a block, nor is a comment's N.
    EXPECT_TRUE(PrepareResume(program, {ResumeBy::Block, 7}).Refused());
    EXPECT_TRUE(PrepareResume("(N5 IS A COMMENT)\nN6 M30\n", {ResumeBy::Block, 5}).Refused());
    EXPECT_TRUE(PrepareResume(program, {ResumeBy::Line, 0}).Refused());
    EXPECT_EQ(PrepareResume("", {ResumeBy::Line, 1}).refusal, "Line 1 is not in the program: it has 0 lines.");
}

TEST(ResumePoint, TheCaretsLineIsNamedSoThatItResumesThere) {
    const std::string program = "%\nN10 G0\nN20 M98 P100\nM30\nN10 G1 X5\nM99\n";
    EXPECT_EQ(PrepareResume(program, ResumeRequestAt(program, 2)).line, 3);  // by block 20
    EXPECT_EQ(ResumeRequestAt(program, 2).by, ResumeBy::Block);
    // A second N10 (a subprogram's) would resume at the first: named by line.
    const ResumeRequest second = ResumeRequestAt(program, 4);
    EXPECT_EQ(second.by, ResumeBy::Line);
    EXPECT_EQ(PrepareResume(program, second).line, 5);
    EXPECT_EQ(ResumeRequestAt(program, 3).by, ResumeBy::Line);  // no N word
}

}  // namespace
}  // namespace quorlin::nc
