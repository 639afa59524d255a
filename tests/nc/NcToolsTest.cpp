// The NC tools on programs as they come from the shop floor: what each tool
// changes, and that none touches comments, '%' lines, the program number,
// ';' text or the line breaks.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nc/NcLines.h"
#include "nc/NcTools.h"
#include "nc/ResumePoint.h"

namespace quorlin::nc {
namespace {

// A milling program with the usual mix: CR LF breaks, the program number with
// its name, a comment line, blocks with and without N words, a block-delete
// block, a macro jump and a comment that is never closed.
const std::string kProgram =
    "%\r\n"
    "O1000 (FLANGE  OP10)\r\n"
    "(T1 = FACE MILL D63  , Z0 TOP)\r\n"
    "N10 G90 G54 G17 G40\r\n"
    "N20 T1 M06 (  CHANGE   TOOL )\r\n"
    "G00 X-35.  Y0 S1200 M03\r\n"
    "\r\n"
    "/N40 M01\r\n"
    "N50 G01 Z-0.5 F300.;  keep  me\r\n"
    "  X35. (FACE PASS\r\n"
    "N70 M30\r\n"
    "%\r\n";

std::vector<std::string> CommentsOf(const std::string& text) {
    std::vector<std::string> found;
    for (const TextLine& line : SplitLines(text))
        for (const Segment& segment : SplitSegments(line.content))
            if (segment.kind != SegmentKind::Code) found.emplace_back(segment.text);
    return found;
}

TEST(NcTools, RenumberNumbersBlocksOnlyAndKeepsTheRest) {
    RenumberOptions options;
    options.start = 100;
    options.step = 5;
    options.width = 4;
    const RenumberResult kept = Renumber(kProgram, options);
    EXPECT_EQ(kept.text,
              "%\r\n"
              "O1000 (FLANGE  OP10)\r\n"
              "(T1 = FACE MILL D63  , Z0 TOP)\r\n"
              "N0100 G90 G54 G17 G40\r\n"
              "N0105 T1 M06 (  CHANGE   TOOL )\r\n"
              "G00 X-35.  Y0 S1200 M03\r\n"
              "\r\n"
              "/N0110 M01\r\n"
              "N0115 G01 Z-0.5 F300.;  keep  me\r\n"
              "  X35. (FACE PASS\r\n"
              "N0120 M30\r\n"
              "%\r\n");
    EXPECT_EQ(kept.numbered, 5);

    options.numberUnnumbered = true;
    options.width = 0;
    const RenumberResult all = Renumber(kProgram, options);
    EXPECT_EQ(all.numbered, 7);
    EXPECT_NE(all.text.find("N110 G00 X-35.  Y0 S1200 M03\r\n"), std::string::npos) << all.text;
    EXPECT_NE(all.text.find("  N125 X35. (FACE PASS\r\n"), std::string::npos) << all.text;
    EXPECT_NE(all.text.find("\r\n\r\n/N115 M01"), std::string::npos) << "the empty line stays unnumbered";
    EXPECT_EQ(CommentsOf(all.text), CommentsOf(kProgram));

    // A compact program gets compact N words; jumps are counted for a warning.
    const RenumberResult compact = Renumber("O0002\nG01X1.\nIF[#1GT2]GOTO10\nM99P30\n", {1, 1, 0, true});
    EXPECT_EQ(compact.text, "O0002\nN1G01X1.\nN2IF[#1GT2]GOTO10\nN3M99P30\n");
    EXPECT_EQ(compact.jumpBlocks, 2);
}

// Numbers past the width are written whole and reported; numbers past what
// a control holds are not written at all, and the largest that is written
// is one a resumed send finds.
TEST(NcTools, RenumberReportsOutgrownWidthsAndRefusesNumbersNoControlHolds) {
    const std::string program = "O0001\nN1 G0 X0\nN2 G1 X1\nN3 G1 X2\nN4 M30\n";
    const RenumberResult wide = Renumber(program, {9990, 10, 4, false});
    EXPECT_EQ(wide.text, "O0001\nN9990 G0 X0\nN10000 G1 X1\nN10010 G1 X2\nN10020 M30\n");
    EXPECT_EQ(wide.firstWider, 10000);
    EXPECT_EQ(wide.lastNumber, 10020);
    EXPECT_FALSE(wide.TooLarge());
    EXPECT_EQ(Renumber(program, {10, 10, 0, false}).firstWider, -1);  // width 0: as wide as needed

    const RenumberResult huge = Renumber(program, {10, kMaxBlockNumber, 0, false});
    EXPECT_TRUE(huge.TooLarge());
    EXPECT_EQ(huge.lastNumber, 10 + 3 * kMaxBlockNumber);
    EXPECT_EQ(huge.text, program);

    const RenumberResult last = Renumber(program, {kMaxBlockNumber - 3, 1, 0, false});
    ASSERT_FALSE(last.TooLarge());
    EXPECT_EQ(last.lastNumber, kMaxBlockNumber);
    EXPECT_EQ(PrepareResume(last.text, {ResumeBy::Block, kMaxBlockNumber}).line, 5);
    EXPECT_TRUE(Renumber(program, {kMaxBlockNumber - 2, 1, 0, false}).TooLarge());
}

TEST(NcTools, CompactAndSpaceWordsNeverTouchCommentsOrTheProgramNumber) {
    const std::string compact = Compact(kProgram);
    EXPECT_EQ(compact,
              "%\r\n"
              "O1000 (FLANGE  OP10)\r\n"
              "(T1 = FACE MILL D63  , Z0 TOP)\r\n"
              "N10G90G54G17G40\r\n"
              "N20T1M06(  CHANGE   TOOL )\r\n"
              "G00X-35.Y0S1200M03\r\n"
              "\r\n"
              "/N40M01\r\n"
              "N50G01Z-0.5F300.;  keep  me\r\n"
              "X35.(FACE PASS\r\n"
              "N70M30\r\n"
              "%\r\n");
    const std::string spaced = SpaceWords(compact);
    EXPECT_EQ(spaced,
              "%\r\n"
              "O1000 (FLANGE  OP10)\r\n"
              "(T1 = FACE MILL D63  , Z0 TOP)\r\n"
              "N10 G90 G54 G17 G40\r\n"
              "N20 T1 M06 (  CHANGE   TOOL )\r\n"
              "G00 X-35. Y0 S1200 M03\r\n"
              "\r\n"
              "/N40 M01\r\n"
              "N50 G01 Z-0.5 F300.;  keep  me\r\n"
              "X35. (FACE PASS\r\n"
              "N70 M30\r\n"
              "%\r\n");
    EXPECT_EQ(Compact(spaced), compact);
    // Macro words stay whole: keywords, brackets, variables.
    EXPECT_EQ(SpaceWords("N5IF[#1GT#2]GOTO100\n#100=#101*2\nG65P9010A1.B[#3+1]\n"),
              "N5 IF[#1GT#2] GOTO100\n#100=#101*2\nG65 P9010 A1. B[#3+1]\n");
    EXPECT_EQ(SpaceWords("/1N10G0X0\r"), "/1 N10 G0 X0\r");
}

TEST(NcTools, RemoveBlockNumbersAndRemoveComments) {
    EXPECT_EQ(RemoveBlockNumbers(kProgram),
              "%\r\n"
              "O1000 (FLANGE  OP10)\r\n"
              "(T1 = FACE MILL D63  , Z0 TOP)\r\n"
              "G90 G54 G17 G40\r\n"
              "T1 M06 (  CHANGE   TOOL )\r\n"
              "G00 X-35.  Y0 S1200 M03\r\n"
              "\r\n"
              "/M01\r\n"
              "G01 Z-0.5 F300.;  keep  me\r\n"
              "  X35. (FACE PASS\r\n"
              "M30\r\n"
              "%\r\n");
    EXPECT_EQ(RemoveComments(kProgram),
              "%\r\n"
              "O1000 (FLANGE  OP10)\r\n"
              "N10 G90 G54 G17 G40\r\n"
              "N20 T1 M06\r\n"
              "G00 X-35.  Y0 S1200 M03\r\n"
              "\r\n"
              "/N40 M01\r\n"
              "N50 G01 Z-0.5 F300.;  keep  me\r\n"
              "  X35.\r\n"
              "N70 M30\r\n"
              "%\r\n");
    EXPECT_EQ(RemoveComments("G01 (A) X10\nG01(A)X10\n(A) G01\n(A)(B)\nM30"), "G01 X10\nG01X10\nG01\nM30");
    // A program without a final line break keeps having none.
    EXPECT_EQ(Compact("G0 X1\rG1 Y2"), "G0X1\rG1Y2");
}

}  // namespace
}  // namespace quorlin::nc
