// quorlin-cli convert, batch-convert and check, run as a separate process on
// real files: outputs, printed messages and exit statuses.

#include <gtest/gtest.h>

#include <filesystem>

#include "convert/Paths.h"
#include "tests/support/CliRun.h"
#include "tests/convert/ByteFiles.h"
#include "tests/support/TemporaryFolder.h"

namespace quorlin {
namespace {

using test::Bytes;
using test::CliRun;
using test::RunCli;
using test::TemporaryFolder;

TEST(ConvertCli, AFileMadeByConvertPassesCheck) {
    TemporaryFolder folder;
    test::WriteBytes(folder / "system.bin", test::Pattern(200000));
    std::filesystem::create_directory(folder / "out");
    const CliRun convert = RunCli({"convert", "--type", "2", "--version", "V1.0", "--date", "261207", "--target",
                                folder / "out", "--source1", folder / "system.bin"});
    EXPECT_EQ(convert.status, 0) << convert.err;
    EXPECT_EQ(convert.out, "File converting finished!\n");
    EXPECT_EQ(convert.err, "");

    const CliRun check = RunCli({"check", "--kind", "5", ComposePath(folder / "out", "QZSYS")});
    EXPECT_EQ(check.status, 0) << check.err;
    ASSERT_EQ(check.out.rfind("OK ", 0), 0u) << check.out;

    // Type 0 with two sources: the header describes the one source written.
    test::WriteBytes(folder / "extra.dat", test::Pattern(3000, 2));
    const CliRun type0 = RunCli({"convert", "--type=0", "--target", folder / "out", "--source1", folder / "system.bin",
                              "--source2", folder / "extra.dat"});
    EXPECT_EQ(type0.status, 0) << type0.err;
    EXPECT_EQ(RunCli({"check", "--kind", "3", ComposePath(folder / "out", "SYS")}).status, 0);
}

TEST(ConvertCli, CheckPrintsTheChecksumOrTheRefusal) {
    TemporaryFolder folder;
    Bytes file = test::Text("%QZ");
    file.resize(22);
    file[14] = 0x26;  // 294 = 0x126, the sum of "abc"
    file[15] = 0x01;
    const Bytes abc = test::Text("abc");
    file.insert(file.end(), abc.begin(), abc.end());
    test::WriteBytes(folder / "good", file);
    const CliRun good = RunCli({"check", "--kind", "3", folder / "good"});
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.out, "OK 0x00000126\n");

    file.back() = 'd';
    test::WriteBytes(folder / "damaged", file);
    const CliRun damaged = RunCli({"check", "--kind", "5", folder / "damaged"});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(damaged.err, "This file is not a file for system update or is damaged!\n");
    // An update file is no picture.
    EXPECT_EQ(RunCli({"check", "--kind", "4", folder / "good"}).status, 1);

    const CliRun missing = RunCli({"check", "--kind", "3", folder / "missing"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, folder / "missing" + " was not found.\n");
}

TEST(ConvertCli, ErrorsShownByTheDialogExitOne) {
    TemporaryFolder folder;
    const CliRun noSource = RunCli({"convert", "--type", "2", "--target", folder.Path()});
    EXPECT_EQ(noSource.status, 1);
    EXPECT_EQ(noSource.err, "File type error!\n");
    test::WriteBytes(folder / "empty.bin", {});
    const CliRun empty = RunCli({"convert", "--type", "0", "--target", folder.Path(), "--source1", folder / "empty.bin"});
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.err.find("is empty"), std::string::npos);
}

TEST(ConvertCli, UsageErrorsExitTwoWithOneLine) {
    const std::vector<std::vector<std::string>> wrong = {
        {"convert"},
        {"convert", "--type", "3"},
        {"convert", "--type", "0", "--version", "V1.00"},
        {"convert", "--type", "0", "--date", "2026127"},
        {"convert", "--type", "0", "stray"},
        {"convert", "--bogus"},
        {"check", "--kind", "2", "file"},
        {"check", "--kind", "3"},
        {"batch-convert"},
        {"batch-convert", "--tag", "a.bin=NOPE", "."},
    };
    for (const auto& args : wrong) {
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, 2) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(ConvertCli, HelpIsShownForEveryCommand) {
    for (const char* command : {"convert", "batch-convert", "check"}) {
        const CliRun run = RunCli({command, "--help"});
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_NE(run.out.find(std::string("usage: quorlin-cli ") + command), std::string::npos) << command;
    }
}

TEST(ConvertCli, BatchConvertsTheListedFilesWithTheirTags) {
    TemporaryFolder folder;
    test::WriteBytes(folder / "ABC.bin", test::Pattern(131072));
    test::WriteBytes(folder / "other.bin", test::Pattern(1000));
    test::WriteBytes(folder / "skip.dat", test::Pattern(1000));
    const CliRun run = RunCli({"batch-convert", "--tag", "ABC.bin=SYS", folder.Path()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "File converting finished!\n");
    const std::string out = folder / "Bin_Dst";
    EXPECT_EQ(std::filesystem::file_size(ComposePath(out, "ABC.rom")), 524288u);
    EXPECT_EQ(std::filesystem::file_size(ComposePath(out, "other.rom")), 524000u + 1000u);
    EXPECT_FALSE(std::filesystem::exists(ComposePath(out, "skip.rom")));
    EXPECT_EQ(RunCli({"check", "--kind", "3", ComposePath(out, "SYS")}).status, 0);

    // A name that is not listed, and a folder that is not there.
    EXPECT_EQ(RunCli({"batch-convert", "--tag", "skip.dat=SYS", folder.Path()}).status, 2);
    const CliRun missing = RunCli({"batch-convert", folder / "missing"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, folder / "missing" + " was not found.\n");
}

TEST(ConvertCli, BatchStopsAtAnEmptySourceAndExitsOne) {
    TemporaryFolder folder;
    test::WriteBytes(folder / "empty.dat", {});
    const CliRun run = RunCli({"batch-convert", "--dat", folder.Path()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("empty.dat is empty"), std::string::npos);
    EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace quorlin
