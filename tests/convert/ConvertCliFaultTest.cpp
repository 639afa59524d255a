// quorlin-cli convert, batch-convert and check against the faults reported
// from the field: each run as service staff would run it, in a separate
// process, with a deadline so that a hang fails the test instead of the suite.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "convert/Paths.h"
#include "convert/Refusals.h"
#include "tests/support/CliRun.h"
#include "tests/convert/ByteFiles.h"
#include "tests/support/TemporaryFolder.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::CliOptions;
using test::CliRun;
using test::RunCli;
using test::TemporaryFolder;

constexpr auto kNoWaitDeadline = std::chrono::seconds(10);

std::vector<std::string> Leftovers(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.path().extension() == ".part") found.push_back(entry.path());
    return found;
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08" PRIX32, value);
    return text;
}

// --- Outputs and sources ---------------------------------------------------

TEST(ConvertCliFaults, ASecondSourceThatIsAnOutputIsRefusedAndKept) {
    // As reported: convert --type 0 --source2 out/66G.dat overwrote it and
    // finished. Type 1's one output, SYS, is a font source by its name.
    TemporaryFolder folder;
    fs::create_directory(folder / "out");
    const Bytes bin = test::Pattern(70000, 1);
    const Bytes old = test::Pattern(524288, 2);
    test::WriteBytes(folder / "a.bin", bin);
    for (const auto& [type, name] : {std::pair{"0", "66G.dat"}, std::pair{"1", "SYS"}}) {
        const std::string output = ComposePath(folder / "out", name);
        test::WriteBytes(output, old);
        const CliRun run = RunCli({"convert", "--type", type, "--target", folder / "out", "--source1", folder / "a.bin",
                                   "--source2", output});
        EXPECT_EQ(run.status, 1) << "type " << type;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, WithPath(kTextTargetIsSource, output) + "\n");
        EXPECT_EQ(test::ReadBytes(output), old);
    }
    EXPECT_EQ(test::ReadBytes(folder / "a.bin"), bin);
}

TEST(ConvertCliFaults, ADeviceOrAPipeIsRefusedAtOnce) {
    TemporaryFolder folder;
    fs::create_symlink("/dev/zero", folder / "zero.bin");
    ASSERT_EQ(::mkfifo((folder / "pipe.bin").c_str(), 0600), 0);
    CliOptions options;
    options.deadline = kNoWaitDeadline;
    options.fileSizeLimit = 4 * 1024 * 1024;  // a runaway copy stops here, not at a full disk
    for (const char* source : {"zero.bin", "pipe.bin"}) {
        const CliRun run =
            RunCli({"convert", "--type", "2", "--target", folder.Path(), "--source1", folder / source}, options);
        EXPECT_EQ(run.status, 1) << source;
        EXPECT_EQ(run.err, WithPath(kTextNotRegularFile, folder / source) + "\n");
        std::printf("convert with %s refused in %lld ms\n", source, static_cast<long long>(run.took.count()));
    }
    const CliRun check = RunCli({"check", "--kind", "3", folder / "pipe.bin"}, options);
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.err, WithPath(kTextNotRegularFile, folder / "pipe.bin") + "\n");
    EXPECT_FALSE(fs::exists(folder / "QZSYS"));
}

// Two processes writing one target at once: both may finish, but the file left
// must be one of the two, whole.
TEST(ConvertCliFaults, TwoConversionsOfOneTargetLeaveOneWholeFile) {
    TemporaryFolder folder;
    fs::create_directory(folder / "out");
    const Bytes first = test::Pattern(3 * 1024 * 1024, 1);
    const Bytes second = test::Pattern(5 * 1024 * 1024, 2);
    test::WriteBytes(folder / "first.bin", first);
    test::WriteBytes(folder / "second.bin", second);
    const std::string target = ComposePath(folder / "out", "QZSYS");
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        auto start = [&](const char* source) {
            return test::StartCli(
                {"convert", "--type", "2", "--target", folder / "out", "--source1", folder / source});
        };
        test::RunningCli a = start("first.bin");
        test::RunningCli b = start("second.bin");
        const CliRun ranA = test::FinishCli(a);
        const CliRun ranB = test::FinishCli(b);
        EXPECT_EQ(ranA.status, 0) << ranA.err;
        EXPECT_EQ(ranB.status, 0) << ranB.err;
        EXPECT_EQ(RunCli({"check", "--kind", "3", target}).status, 0);
        const Bytes left = test::ReadBytes(target);
        ASSERT_GE(left.size(), 22u);
        const Bytes payload = test::Slice(left, 22, left.size());
        EXPECT_TRUE(payload == first || payload == second) << "a payload of " << payload.size() << " bytes";
        EXPECT_TRUE(Leftovers(folder.Path()).empty());
    }
}

TEST(ConvertCliFaults, AFullDiskEndsConvertKeepingTheOldTarget) {
    TemporaryFolder folder;
    test::WriteBytes(folder / "big.bin", test::Pattern(200000));
    const Bytes old = test::Pattern(100, 7);
    test::WriteBytes(folder / "QZSYS", old);
    CliOptions options;
    options.fileSizeLimit = 64 * 1024;
    const CliRun run =
        RunCli({"convert", "--type", "2", "--target", folder.Path(), "--source1", folder / "big.bin"}, options);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Disk full while accessing " + folder / "QZSYS" + ".\n");
    EXPECT_EQ(test::ReadBytes(folder / "QZSYS"), old);
    EXPECT_TRUE(Leftovers(folder.Path()).empty());
}

TEST(ConvertCliFaults, BatchOnAFolderThatCannotBeListedFails) {
    TemporaryFolder folder;
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
    fs::create_directory(folder / "locked");
    test::WriteBytes(folder / "locked/a.bin", test::Pattern(100));
    ASSERT_EQ(::chmod((folder / "locked").c_str(), 0333), 0);
    CliOptions asUser;
    asUser.unprivileged = true;
    const CliRun run = RunCli({"batch-convert", folder / "locked"}, asUser);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Access to " + AddTrailingBackslash(folder / "locked") + " was denied.\n");
    EXPECT_FALSE(fs::exists(folder / "locked/Bin_Dst"));
    ::chmod((folder / "locked").c_str(), 0755);  // removable by a user that is not root
}

// --- check's output ----------------------------------------------------------

TEST(ConvertCliCheck, Kind4PrintsTheSumOfThePixelsTheDownloadSends) {
    TemporaryFolder folder;
    Bytes picture = test::Pattern(1078 + 4000, 5);
    picture[0] = 'B';
    picture[1] = 'M';
    picture[10] = 1078 & 0xFF;  // pixel data offset, little-endian
    picture[11] = 1078 >> 8;
    picture[12] = picture[13] = 0;
    test::WriteBytes(folder / "logo.bmp", picture);
    const std::uint32_t pixels = test::ReferenceSum(picture, 1078);
    ASSERT_NE(pixels, test::ReferenceSum(picture, 50));  // the check's own sum would differ
    const CliRun run = RunCli({"check", "--kind", "4", folder / "logo.bmp"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "OK " + Hex(pixels) + "\n");
}

TEST(ConvertCliCheck, AResultThatCannotBeWrittenIsAFailure) {
    struct stat info {};
    if (::stat("/dev/full", &info) != 0) GTEST_SKIP() << "no /dev/full";
    TemporaryFolder folder;
    Bytes file = test::Text("%QZ");
    file.resize(22);  // checksum 0 over an empty payload: a sound file
    test::WriteBytes(folder / "SYS", file);
    CliOptions toFullDisk;
    toFullDisk.stdoutPath = "/dev/full";
    const CliRun run = RunCli({"check", "--kind", "3", folder / "SYS"}, toFullDisk);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "quorlin-cli check: cannot write the result: No space left on device\n");
}

TEST(ConvertCliCheck, NumbersWrittenAnyOtherWayAreUsageErrors) {
    TemporaryFolder folder;
    for (const char* written : {" 3", "3 ", "+3", "03", "-0", "3.0", "0x3", ""}) {
        const CliRun run = RunCli({"check", "--kind", written, folder / "SYS"});
        EXPECT_EQ(run.status, 2) << "'" << written << "'";
        EXPECT_EQ(run.err, std::string("quorlin-cli check: --kind must be 3, 4 or 5, not '") + written +
                               "' (try --help)\n");
        EXPECT_EQ(run.out, "");
    }
    for (const char* written : {" 1", "+2", "-0", "00", "1e0"}) {
        const CliRun run = RunCli({"convert", "--type", written, "--target", folder.Path(), "--source1", folder / "a.bin"});
        EXPECT_EQ(run.status, 2) << "'" << written << "'";
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_FALSE(fs::exists(folder / "SYS"));
}

}  // namespace
}  // namespace quorlin
