// The comparison of a program received from the controller with its master:
// the rows the Compare window shows, the differences it counts and the
// unified form quorlin-cli prints.

#include <gtest/gtest.h>

#include <string>

#include "nc/NcCompare.h"

namespace quorlin::nc {
namespace {

const std::string kMaster =
    "%\r\n"
    "O2000 (SHAFT)\r\n"
    "N10 G21 G90\r\n"
    "N20 T0101\r\n"
    "N30 G96 S180 M03\r\n"
    "N40 G00 X52. Z2.\r\n"
    "N50 G01 Z-40. F0.2\r\n"
    "\r\n"
    "N60 X60.\r\n"
    "N70 G28 U0 W0\r\n"
    "N80 M30\r\n"
    "%\r\n";

// As the controller sends it back: LF breaks, no blanks, no empty lines, one
// feed changed at the machine, one block added, the blocks renumbered by 5.
const std::string kReceived =
    "%\n"
    "O2000(SHAFT)\n"
    "N5G21G90\n"
    "N10T0101\n"
    "N15G96S180M03\n"
    "N20G00X52.Z2.\n"
    "N25G01Z-40.F0.15\n"
    "N30X60.\n"
    "N35G28U0W0\n"
    "N40M05\n"
    "N45M30\n"
    "%\n";

TEST(NcCompare, OptionsDecideWhatCountsAsADifference) {
    const Comparison plain = CompareTexts(kMaster, kReceived, {});
    EXPECT_TRUE(plain.Differ());
    EXPECT_EQ(plain.rows.front().kind, RowKind::Same) << "line breaks do not count";

    const Comparison spaces = CompareTexts(kMaster, kReceived, {true, false});
    EXPECT_TRUE(spaces.Differ());
    EXPECT_EQ(spaces.rows[1].kind, RowKind::Same) << "O2000 (SHAFT) and O2000(SHAFT)";

    // Only the machine's edits are left: the feed, and the added M05.
    const Comparison both = CompareTexts(kMaster, kReceived, {true, true});
    ASSERT_EQ(both.differences.size(), 2u);
    const CompareRow& feed = both.rows[both.differences[0]];
    EXPECT_EQ(feed.kind, RowKind::Changed);
    EXPECT_EQ(both.leftLines[size_t(feed.left)], "N50 G01 Z-40. F0.2");
    EXPECT_EQ(both.rightLines[size_t(feed.right)], "N25G01Z-40.F0.15");
    const CompareRow& added = both.rows[both.differences[1]];
    EXPECT_EQ(added.kind, RowKind::Added);
    EXPECT_EQ(both.rightLines[size_t(added.right)], "N40M05");
    // The empty master line is shown, on its side only, and never counted.
    EXPECT_EQ(both.rows[both.differences[0] + 1].kind, RowKind::Ignored);
    EXPECT_EQ(both.rows[both.differences[0] + 1].left, 7);

    // Every line of both texts appears in exactly one row, in order.
    long left = 0, right = 0;
    for (const CompareRow& row : both.rows) {
        if (row.left >= 0) {
            EXPECT_EQ(row.left, left++);
        }
        if (row.right >= 0) {
            EXPECT_EQ(row.right, right++);
        }
    }
    EXPECT_EQ(left, 12);
    EXPECT_EQ(right, 12);

    EXPECT_FALSE(CompareTexts(kMaster, kMaster, {}).Differ());
    EXPECT_EQ(UnifiedDiff(CompareTexts(kMaster, kMaster, {}), "a", "b"), "");
}

TEST(NcCompare, UnifiedFormAsDiffPrintsIt) {
    std::string left, right;
    for (int i = 1; i <= 20; ++i) {
        left += "N" + std::to_string(i) + " G01 X" + std::to_string(i) + "\n";
        if (i == 2) right += "N2 G01 X2.5\n";
        else if (i != 15) right += "N" + std::to_string(i) + " G01 X" + std::to_string(i) + "\n";
        if (i == 20) right += "M30\n";
    }
    EXPECT_EQ(UnifiedDiff(CompareTexts(left, right, {}), "master.nc", "received.nc"),
              "--- master.nc\n"
              "+++ received.nc\n"
              "@@ -1,5 +1,5 @@\n"
              " N1 G01 X1\n"
              "-N2 G01 X2\n"
              "+N2 G01 X2.5\n"
              " N3 G01 X3\n"
              " N4 G01 X4\n"
              " N5 G01 X5\n"
              "@@ -12,9 +12,9 @@\n"
              " N12 G01 X12\n"
              " N13 G01 X13\n"
              " N14 G01 X14\n"
              "-N15 G01 X15\n"
              " N16 G01 X16\n"
              " N17 G01 X17\n"
              " N18 G01 X18\n"
              " N19 G01 X19\n"
              " N20 G01 X20\n"
              "+M30\n");
    // One side empty: the hunk starts at line 0 of that side.
    EXPECT_EQ(UnifiedDiff(CompareTexts("", "G0\n", {}), "a", "b"), "--- a\n+++ b\n@@ -0,0 +1 @@\n+G0\n");
}

}  // namespace
}  // namespace quorlin::nc
