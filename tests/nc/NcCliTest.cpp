// quorlin-cli nc-tool and compare, run as a separate process on real files.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/support/CliRun.h"
#include "tests/convert/ByteFiles.h"
#include "tests/support/TemporaryFolder.h"

namespace quorlin {
namespace {

using test::CliRun;
using test::RunCli;
using test::TemporaryFolder;

void Write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(NcCli, ToolsRewriteTheFileAndCompareFindsWhatChanged) {
    TemporaryFolder folder;
    // Latin-1 bytes in a comment pass through untouched.
    const std::string master = "%\r\nO0007 (W\xC4LZE)\r\nG0 X0 Y0 (\xB0" "C)\r\nG1 X10. F200\r\nM30\r\n%\r\n";
    Write(folder / "master.nc", master);

    const CliRun numbered = RunCli({"nc-tool", "renumber", "--start", "1", "--step", "1", "--width", "3", "--all",
                                    "--output", folder / "numbered.nc", folder / "master.nc"});
    EXPECT_EQ(numbered.status, 0) << numbered.err;
    EXPECT_EQ(numbered.out, "");
    EXPECT_EQ(Read(folder / "numbered.nc"),
              "%\r\nO0007 (W\xC4LZE)\r\nN001 G0 X0 Y0 (\xB0" "C)\r\nN002 G1 X10. F200\r\nN003 M30\r\n%\r\n");

    const CliRun compact = RunCli({"nc-tool", "compact", folder / "numbered.nc"});
    EXPECT_EQ(compact.status, 0) << compact.err;
    EXPECT_EQ(compact.out, "%\r\nO0007 (W\xC4LZE)\r\nN001G0X0Y0(\xB0" "C)\r\nN002G1X10.F200\r\nN003M30\r\n%\r\n");
    Write(folder / "received.nc", compact.out);

    const CliRun same = RunCli({"compare", "--ignore-spaces", "--ignore-block-numbers", folder / "master.nc",
                                folder / "received.nc"});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.out, "");

    const CliRun differ = RunCli({"compare", "--ignore-spaces", folder / "master.nc", folder / "received.nc"});
    EXPECT_EQ(differ.status, 1) << differ.err;
    EXPECT_NE(differ.out.find("@@ -1,6 +1,6 @@\n %\n O0007 (W\xC4LZE)\n-G0 X0 Y0 (\xB0" "C)\n"), std::string::npos)
        << differ.out;
    EXPECT_NE(differ.out.find("+N003M30\n"), std::string::npos) << differ.out;

    // Trouble is 2, never taken for "the same" or "different".
    EXPECT_EQ(RunCli({"compare", folder / "master.nc", folder / "missing.nc"}).status, 2);
    EXPECT_EQ(RunCli({"compare", folder / "master.nc"}).status, 2);
    EXPECT_EQ(RunCli({"nc-tool", "renumber", "--step", "0", folder / "master.nc"}).status, 2);
    EXPECT_EQ(RunCli({"nc-tool", "compact", "--all", folder / "master.nc"}).status, 2);
    const CliRun missing = RunCli({"nc-tool", "compact", folder / "missing.nc"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("missing.nc"), std::string::npos);
    EXPECT_EQ(Read(folder / "master.nc"), master);
}

}  // namespace
}  // namespace quorlin
