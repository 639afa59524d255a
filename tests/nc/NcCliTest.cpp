// quorlin-cli nc-tool and compare, run as a separate process on real files.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

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

// A device node made here (the null device's numbers), never one of /dev:
// false when this system lets no test make one.
bool MakeNullDevice(const std::filesystem::path& path) {
    return ::mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
}

bool IsKind(const std::filesystem::path& path, mode_t kind) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == kind;
}

// --output writes a regular file or a new name. A link is written through:
// the file it leads to is replaced in its own folder and the link stays. A
// named pipe, a device and what a link leads to that is neither are refused
// and left as they were (they were once renamed over).
TEST(NcCli, OutputGoesToARegularFileOrANewNameAndThroughALink) {
    TemporaryFolder folder;
    const std::filesystem::path masters = folder / "masters";
    const std::filesystem::path work = folder / "work";
    std::filesystem::create_directories(masters);
    std::filesystem::create_directories(work);
    Write(masters / "part.nc", "N1 G0 X0\r\nN2 M30\r\n");
    std::filesystem::create_symlink("../masters/part.nc", work / "part.nc");

    const CliRun through = RunCli({"nc-tool", "compact", "--output", work / "part.nc", work / "part.nc"});
    EXPECT_EQ(through.status, 0) << through.err;
    EXPECT_TRUE(std::filesystem::is_symlink(std::filesystem::symlink_status(work / "part.nc")));
    std::error_code notALink;
    EXPECT_EQ(std::filesystem::read_symlink(work / "part.nc", notALink), "../masters/part.nc");
    EXPECT_EQ(Read(masters / "part.nc"), "N1G0X0\r\nN2M30\r\n");
    const auto entries = [](const std::filesystem::path& dir) {
        return std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator());
    };
    EXPECT_EQ(entries(masters), 1);  // nothing left beside the master
    EXPECT_EQ(entries(work), 1);

    ASSERT_EQ(::mkfifo((folder / "pipe.nc").c_str(), 0600), 0);
    std::filesystem::create_symlink("pipe.nc", folder / "to-pipe.nc");
    std::filesystem::create_symlink("missing.nc", folder / "dangling.nc");
    std::vector<std::pair<std::filesystem::path, std::string>> refused = {
        {folder / "pipe.nc", "pipe.nc is a named pipe, not a regular file"},
        {folder / "to-pipe.nc", "pipe.nc is a named pipe, not a regular file"},
        {folder / "dangling.nc", "which does not exist"},
        {masters, "masters is a folder, not a regular file"}};
    const bool device = MakeNullDevice(folder / "device.nc");
    if (device) refused.emplace_back(folder / "device.nc", "device.nc is a device, not a regular file");
    for (const auto& [output, why] : refused) {
        const CliRun run = RunCli({"nc-tool", "compact", "--output", output, masters / "part.nc"});
        EXPECT_EQ(run.status, 1) << output;
        EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
    }
    EXPECT_TRUE(IsKind(folder / "pipe.nc", S_IFIFO));
    EXPECT_TRUE(IsKind(folder / "to-pipe.nc", S_IFLNK));
    EXPECT_TRUE(IsKind(folder / "dangling.nc", S_IFLNK));
    EXPECT_FALSE(std::filesystem::exists(folder / "missing.nc"));
    if (device) {
        EXPECT_TRUE(IsKind(folder / "device.nc", S_IFCHR));
    }
    EXPECT_EQ(entries(folder.Location()), device ? 6 : 5);  // nothing left behind
}

// What is not a regular file is no program: a folder once aborted the
// tools, a device was read without end and a named pipe waited for ever.
TEST(NcCli, ToolsAndCompareRefuseWhatIsNotARegularFile) {
    TemporaryFolder folder;
    Write(folder / "part.nc", "N1 M30\r\n");
    ASSERT_EQ(::mkfifo((folder / "pipe.nc").c_str(), 0600), 0);
    std::vector<std::pair<std::filesystem::path, std::string>> inputs = {
        {folder / "pipe.nc", "is a named pipe, not a regular file"}, {folder.Location(), "is a folder, not a regular file"}};
    if (MakeNullDevice(folder / "device.nc")) inputs.emplace_back(folder / "device.nc", "is a device, not a regular file");
    test::CliOptions quick;
    quick.deadline = std::chrono::seconds(10);  // refused at once; a wait for the pipe's writer shows here
    for (const auto& [input, why] : inputs) {
        const CliRun tool = RunCli({"nc-tool", "compact", input}, quick);
        EXPECT_EQ(tool.status, 1) << input << ": " << tool.err;
        EXPECT_NE(tool.err.find("quorlin-cli nc-tool: " + input.string() + " " + why), std::string::npos) << tool.err;
        EXPECT_EQ(tool.out, "");
        const CliRun compare = RunCli({"compare", folder / "part.nc", input}, quick);
        EXPECT_EQ(compare.status, 2) << input << ": " << compare.err;
        EXPECT_NE(compare.err.find("quorlin-cli compare: " + input.string() + " " + why), std::string::npos)
            << compare.err;
    }
}

// renumber says where the numbers outgrow --width and still writes them;
// it refuses numbers no control holds (the limit --from-block keeps) and
// then writes nothing.
TEST(NcCli, RenumberWarnsPastTheWidthAndRefusesNumbersNoControlHolds) {
    TemporaryFolder folder;
    std::string program = "%\r\nO0001\r\n";
    for (int n = 1; n <= 12; ++n) program += "G1 X" + std::to_string(n) + "\r\n";
    Write(folder / "part.nc", program);

    const CliRun wide = RunCli({"nc-tool", "renumber", "--all", "--start", "10000", "--step", "10000", "--width", "4",
                                "--output", folder / "wide.nc", folder / "part.nc"});
    EXPECT_EQ(wide.status, 0) << wide.err;
    EXPECT_NE(wide.err.find("quorlin-cli nc-tool: the block numbers outgrow --width 4 from N10000 on; the last is "
                            "N120000\n"),
              std::string::npos)
        << wide.err;
    EXPECT_NE(Read(folder / "wide.nc").find("N120000 G1 X12\r\n"), std::string::npos);

    Write(folder / "out.nc", program);
    const CliRun huge = RunCli({"nc-tool", "renumber", "--all", "--step", "999999999", "--output", folder / "out.nc",
                                folder / "part.nc"});
    EXPECT_EQ(huge.status, 2);
    EXPECT_NE(huge.err.find("the last block would be N10999999999; a control holds block numbers up to 999999999"),
              std::string::npos)
        << huge.err;
    EXPECT_EQ(Read(folder / "out.nc"), program);
    EXPECT_EQ(RunCli({"nc-tool", "renumber", "--all", "--start", "999999988", "--step", "1", folder / "part.nc"}).status,
              0);
    EXPECT_EQ(RunCli({"nc-tool", "renumber", "--all", "--start", "999999989", "--step", "1", folder / "part.nc"}).status,
              2);
}

}  // namespace
}  // namespace quorlin
