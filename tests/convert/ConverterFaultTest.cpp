// The converters against the faults that destroy files or report a failure as
// success, one group per class of fault: an output that is a source, a source
// that is no regular file, a disk that fills up, a folder that cannot be
// listed. Faults that could hang or write without end run in a child process
// with a deadline and a file size limit.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "convert/BatchConverter.h"
#include "convert/Converter.h"
#include "convert/FileError.h"
#include "convert/OutputFile.h"
#include "convert/Paths.h"
#include "convert/PosixFile.h"
#include "convert/Refusals.h"
#include "convert/UpdateFile.h"
#include "tests/convert/ChildProcess.h"
#include "tests/convert/ByteFiles.h"
#include "tests/support/TemporaryFolder.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ChildOptions;
using test::RunInChild;
using test::TemporaryFolder;

// Enough for every output these tests mean to write; a fault that writes
// without end stops here instead of filling the disk.
constexpr rlim_t kRunawayLimit = 4 * 1024 * 1024;
// Below a ROM image (512 KiB) and the larger sources below.
constexpr rlim_t kFullDiskAt = 64 * 1024;
constexpr auto kNoWaitDeadline = std::chrono::seconds(10);

// An outcome as one text, so that a child can hand it back: one line per
// message ("Error: text" or "Prompt: text"; a batch's file error box shows
// its text as caption), then "finished" when completion was claimed.
std::string Describe(const ConversionOutcome& outcome) {
    std::string text;
    for (const DialogMessage& message : outcome.messages) text += message.caption + ": " + message.text + "\n";
    if (outcome.finished) text += "finished\n";
    return text;
}

std::string ErrorLine(const std::string& text) { return "Error: " + text + "\n"; }
std::string FileErrorLine(const std::string& text) { return text + ": " + text + "\n"; }
std::string Refused(const std::string& output) { return ErrorLine(WithPath(kTextTargetIsSource, output)); }
std::string NotRegular(const std::string& path) { return WithPath(kTextNotRegularFile, path); }
std::string DiskFullText(const std::string& path) { return "Disk full while accessing " + path + "."; }

// Temporary outputs left anywhere below folder.
std::vector<std::string> Leftovers(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.path().extension() == ".part") found.push_back(entry.path());
    return found;
}

bool PassesCheck(const std::string& path) {
    PosixFile file = PosixFile::OpenForReading(path);
    HeaderBytes header{};
    return CheckUpdateHeader(file, header);
}

// A small update file that passes the check: "abc" behind its header.
Bytes SoundUpdateFile() {
    UpdateFileHeader header;
    header.checksum = 294;
    header.payloadLength = 3;
    const HeaderBytes bytes = header.ToBytes();
    return test::Concat(Bytes(bytes.begin(), bytes.end()), test::Text("abc"));
}

ConvertRequest Request(int type, const std::string& targetDir, std::string source1, std::string source2 = "") {
    ConvertRequest request;
    request.targetType = type;
    request.targetDir = targetDir;
    request.source1 = std::move(source1);
    request.source2 = std::move(source2);
    return request;
}

// --- OutputFile: the target is replaced only by a whole file -----------------

TEST(OutputFile, TheTargetKeepsItsBytesUntilTheNewFileIsCommitted) {
    TemporaryFolder folder;
    const std::string target = folder / "SYS";
    test::WriteBytes(target, test::Text("old"));
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const Bytes fresh = test::Pattern(3 * PosixFile::kIoBufferSize);
    {
        OutputFile output = OutputFile::Create(target);
        output.File().Write(fresh.data(), fresh.size());
        EXPECT_EQ(test::ReadBytes(target), test::Text("old"));
        EXPECT_EQ(fs::path(output.TemporaryPath()).parent_path(), fs::path(folder.Path()));
        EXPECT_EQ(Leftovers(folder.Path()).size(), 1u);
        output.Commit();
    }
    EXPECT_EQ(test::ReadBytes(target), fresh);
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    EXPECT_TRUE(Leftovers(folder.Path()).empty());
}

TEST(OutputFile, AnOutputNotCommittedLeavesNothingBehind) {
    TemporaryFolder folder;
    test::WriteBytes(folder / "old", test::Text("old"));
    {
        OutputFile replacing = OutputFile::Create(folder / "old");
        OutputFile creating = OutputFile::Create(folder / "new");
        replacing.File().Write("x", 1);
        creating.File().Write("x", 1);
    }
    EXPECT_EQ(test::ReadBytes(folder / "old"), test::Text("old"));
    EXPECT_FALSE(fs::exists(folder / "new"));
    EXPECT_TRUE(Leftovers(folder.Path()).empty());
}

TEST(OutputFile, ALinkedTargetIsReplacedWhereTheLinkLeads) {
    TemporaryFolder folder;
    fs::create_directory(folder / "real");
    test::WriteBytes(folder / "real/SYS", test::Text("old"));
    fs::create_symlink(folder / "real/SYS", folder / "SYS");
    OutputFile output = OutputFile::Create(folder / "SYS");
    output.File().Write("new", 3);
    output.Commit();
    EXPECT_TRUE(fs::is_symlink(folder / "SYS"));
    EXPECT_EQ(test::ReadBytes(folder / "real/SYS"), test::Text("new"));
    EXPECT_TRUE(Leftovers(folder.Path()).empty());
}

TEST(OutputFile, RefusesWhatOpeningTheTargetForWritingWouldRefuse) {
    TemporaryFolder folder;
    auto causeOf = [](const std::string& target) {
        try {
            OutputFile::Create(target);
        } catch (const FileError& error) {
            return std::make_pair(error.Cause(), std::string(error.what()));
        }
        return std::make_pair(FileErrorCause::None, std::string());
    };
    fs::create_directory(folder / "dir");
    EXPECT_EQ(causeOf(folder / "dir").first, FileErrorCause::AccessDenied);
    EXPECT_EQ(causeOf(AddTrailingBackslash(folder.Path())).first, FileErrorCause::AccessDenied);
    EXPECT_EQ(causeOf(folder / "missing/SYS").first, FileErrorCause::FileNotFound);
    // A device or a pipe would be removed by the rename, not written.
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(causeOf(folder / "pipe"), std::make_pair(FileErrorCause::AccessDenied, NotRegular(folder / "pipe")));
    fs::create_symlink("/dev/null", folder / "null");
    EXPECT_EQ(causeOf(folder / "null").second, NotRegular(folder / "null"));
    EXPECT_TRUE(fs::is_fifo(folder / "pipe"));

    // A write-protected file stays protected (checked as a user that the
    // protection binds; root may write anything).
    test::WriteBytes(folder / "protected", test::Text("keep"));
    ASSERT_EQ(::chmod((folder / "protected").c_str(), 0444), 0);
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0777), 0);
    ChildOptions asUser;
    asUser.unprivileged = true;
    const auto child = RunInChild(
        [&] { return std::to_string(static_cast<int>(causeOf(folder / "protected").first)); }, asUser);
    EXPECT_EQ(child.output, std::to_string(static_cast<int>(FileErrorCause::AccessDenied)));
    EXPECT_EQ(test::ReadBytes(folder / "protected"), test::Text("keep"));
    EXPECT_TRUE(Leftovers(folder.Path()).empty());
}

// --- An output is never one of the sources --------------------------------

enum class LinkKind { Hard, Symbolic };

TEST(SourceIsOutput, RefusedForEveryTypeEitherBoxAndEitherKindOfLink) {
    // Sources .bin (box 1) and .dat (box 2); for types 0 and 1 the .dat is
    // opened but not in the payload, where the first guard never looked.
    const Bytes bin = test::Pattern(70000, 1);
    const Bytes dat = test::Pattern(3000, 2);
    const std::vector<std::pair<int, std::string>> outputs = {
        {0, "SYS"}, {0, "66G.dat"}, {1, "SYS"}, {2, "QZSYS"}};
    for (const auto& [type, output] : outputs) {
        for (int box : {1, 2}) {
            for (LinkKind link : {LinkKind::Hard, LinkKind::Symbolic}) {
                SCOPED_TRACE("type " + std::to_string(type) + ", " + output + " linked to source " +
                             std::to_string(box) + (link == LinkKind::Hard ? " (hard link)" : " (symbolic link)"));
                TemporaryFolder sources, target;
                test::WriteBytes(sources / "a.bin", bin);
                test::WriteBytes(sources / "b.dat", dat);
                const std::string linked = box == 1 ? sources / "a.bin" : sources / "b.dat";
                if (link == LinkKind::Hard)
                    fs::create_hard_link(linked, target / output);
                else
                    fs::create_symlink(linked, target / output);

                const ConversionOutcome outcome =
                    RunConversion(Request(type, target.Path(), sources / "a.bin", sources / "b.dat"));
                EXPECT_EQ(Describe(outcome), Refused(target / output));
                EXPECT_EQ(test::ReadBytes(sources / "a.bin"), bin);
                EXPECT_EQ(test::ReadBytes(sources / "b.dat"), dat);
                EXPECT_EQ(std::distance(fs::directory_iterator(target.Path()), fs::directory_iterator()), 1)
                    << "nothing but the link may be in the target folder";
                if (link == LinkKind::Symbolic) {
                    EXPECT_TRUE(fs::is_symlink(target / output));
                }
            }
        }
    }
}

TEST(SourceIsOutput, ASecondSourceNamedLikeTheRomImageIsRefused) {
    // As reported: convert --type 0 --source2 out/66G.dat overwrote it.
    TemporaryFolder sources, target;
    const Bytes bin = test::Pattern(70000, 1);
    const Bytes rom = test::Pattern(524288, 3);
    test::WriteBytes(sources / "a.bin", bin);
    test::WriteBytes(target / "66G.dat", rom);
    for (int type : {0, 1}) {
        SCOPED_TRACE("type " + std::to_string(type));
        const std::string output = type == 0 ? target / "66G.dat" : target / "SYS";
        if (type == 1) test::WriteBytes(output, rom);
        const ConversionOutcome outcome = RunConversion(Request(type, target.Path(), sources / "a.bin", output));
        EXPECT_EQ(Describe(outcome), Refused(output));
        EXPECT_EQ(test::ReadBytes(output), rom);
    }
    EXPECT_TRUE(Leftovers(target.Path()).empty());
}

TEST(SourceIsOutput, TheBatchRefusesAnOutputLinkedToAnySourceOfTheBatch) {
    const Bytes a = test::Pattern(1000, 1);
    const Bytes b = test::Pattern(2000, 2);
    struct Case {
        const char* what;
        std::string output;  // inside Bin_Dst
        std::string leadsTo;
        LinkKind link;
    };
    const std::vector<Case> cases = {
        {"its own ROM image, hard link", "a.rom", "a.bin", LinkKind::Hard},
        {"its own ROM image, symbolic link", "a.rom", "a.bin", LinkKind::Symbolic},
        {"its update file, symbolic link", "SYS", "a.bin", LinkKind::Symbolic},
        // Would replace the source of the next row before it is read.
        {"a later row's source, symbolic link", "SYS", "b.bin", LinkKind::Symbolic},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TemporaryFolder folder;
        test::WriteBytes(folder / "a.bin", a);
        test::WriteBytes(folder / "b.bin", b);
        fs::create_directory(folder / "Bin_Dst");
        const std::string output = ComposePath(folder / "Bin_Dst", c.output);
        if (c.link == LinkKind::Hard)
            fs::create_hard_link(folder / c.leadsTo, output);
        else
            fs::create_symlink(folder / c.leadsTo, output);

        const ConversionOutcome outcome = RunBatch(AddTrailingBackslash(folder.Path()), BatchFileType::Bin,
                                                   {{"a.bin", "a.rom", "SYS"}, {"b.bin", "b.rom", ""}});
        EXPECT_EQ(Describe(outcome), Refused(output));
        EXPECT_EQ(test::ReadBytes(folder / "a.bin"), a);
        EXPECT_EQ(test::ReadBytes(folder / "b.bin"), b);
        EXPECT_FALSE(fs::exists(ComposePath(folder / "Bin_Dst", "b.rom")));
        EXPECT_TRUE(Leftovers(folder.Path()).empty());
    }
}

// --- Sources that are no regular file --------------------------------------

TEST(NonRegularSource, APipeIsRefusedWithoutWaitingForAWriter) {
    TemporaryFolder folder;
    ASSERT_EQ(::mkfifo((folder / "p.bin").c_str(), 0600), 0);
    ChildOptions options;
    options.deadline = kNoWaitDeadline;
    options.fileSizeLimit = kRunawayLimit;
    const auto convert = RunInChild(
        [&] { return Describe(RunConversion(Request(2, folder / "out", folder / "p.bin"))); }, options);
    EXPECT_TRUE(convert.endedInTime) << "took " << convert.took.count() << " ms";
    EXPECT_EQ(convert.output, ErrorLine(NotRegular(folder / "p.bin")));

    const auto batch = RunInChild(
        [&] {
            return Describe(RunBatch(AddTrailingBackslash(folder.Path()), BatchFileType::Bin, {{"p.bin", "p.rom", ""}}));
        },
        options);
    EXPECT_TRUE(batch.endedInTime) << "took " << batch.took.count() << " ms";
    const std::string text = NotRegular(AddTrailingBackslash(folder.Path()) + "p.bin");
    EXPECT_EQ(batch.output, FileErrorLine(text));
    EXPECT_FALSE(fs::exists(ComposePath(folder / "Bin_Dst", "p.rom")));
    std::printf("pipe source refused in %lld ms (convert), %lld ms (batch), child start included\n",
                static_cast<long long>(convert.took.count()), static_cast<long long>(batch.took.count()));
}

TEST(NonRegularSource, ADeviceIsRefusedBeforeAByteIsCopied) {
    // Linked as a .bin, /dev/zero once read as length 0 and copied without end.
    TemporaryFolder folder;
    fs::create_symlink("/dev/zero", folder / "zero.bin");
    fs::create_directory(folder / "out");
    ChildOptions options;
    options.deadline = kNoWaitDeadline;
    options.fileSizeLimit = kRunawayLimit;
    for (int type : {0, 2}) {
        const auto child = RunInChild(
            [&] { return Describe(RunConversion(Request(type, folder / "out", folder / "zero.bin"))); }, options);
        EXPECT_TRUE(child.endedInTime);
        EXPECT_EQ(child.output, ErrorLine(NotRegular(folder / "zero.bin"))) << "type " << type;
    }
    // Named directly: a path without a '.' is a font source of type 2.
    const auto null = RunInChild([&] { return Describe(RunConversion(Request(2, folder / "out", "/dev/null"))); },
                                 options);
    EXPECT_EQ(null.output, ErrorLine(NotRegular("/dev/null")));
    const auto batch = RunInChild(
        [&] {
            return Describe(
                RunBatch(AddTrailingBackslash(folder.Path()), BatchFileType::Bin, {{"zero.bin", "zero.rom", ""}}));
        },
        options);
    EXPECT_EQ(batch.output, FileErrorLine(NotRegular(AddTrailingBackslash(folder.Path()) + "zero.bin")));
    EXPECT_TRUE(fs::is_empty(folder / "out"));
    EXPECT_FALSE(fs::exists(ComposePath(folder / "Bin_Dst", "zero.rom")));
}

// --- A disk that fills up --------------------------------------------------

class DiskFull : public ::testing::Test {
protected:
    // Runs body with the disk full after kFullDiskAt bytes of any file.
    std::string Run(const std::function<std::string()>& body) {
        ChildOptions options;
        options.fileSizeLimit = kFullDiskAt;
        const auto child = RunInChild(body, options);
        EXPECT_TRUE(child.endedInTime);
        EXPECT_EQ(child.exitStatus, 0);
        return child.output;
    }
    std::string Source(const std::string& name, std::size_t size) {
        test::WriteBytes(sources / name, test::Pattern(size));
        return sources / name;
    }
    TemporaryFolder sources;
    TemporaryFolder target;
};

TEST_F(DiskFull, AnUpdateFileThatDoesNotFitLeavesTheOldOne) {
    const std::string big = Source("big.bin", 200000);
    for (int type : {0, 1, 2}) {
        SCOPED_TRACE("type " + std::to_string(type));
        const std::string output = target / (type == 2 ? "QZSYS" : "SYS");
        test::WriteBytes(output, SoundUpdateFile());
        test::WriteBytes(target / "66G.dat", test::Text("old image"));
        EXPECT_EQ(Run([&] { return Describe(RunConversion(Request(type, target.Path(), big))); }),
                  ErrorLine(DiskFullText(output)));
        EXPECT_EQ(test::ReadBytes(output), SoundUpdateFile());
        // Type 0 stops where it is: the image is not touched either.
        EXPECT_EQ(test::ReadBytes(target / "66G.dat"), test::Text("old image"));
        EXPECT_TRUE(Leftovers(target.Path()).empty());
    }
}

TEST_F(DiskFull, ARomImageThatDoesNotFitLeavesTheOldOne) {
    // The update file fits, the 512 KiB image does not.
    const std::string small = Source("small.bin", 10000);
    test::WriteBytes(target / "66G.dat", test::Text("old image"));
    EXPECT_EQ(Run([&] { return Describe(RunConversion(Request(0, target.Path(), small))); }),
              ErrorLine(DiskFullText(target / "66G.dat")));
    EXPECT_EQ(test::ReadBytes(target / "66G.dat"), test::Text("old image"));
    EXPECT_TRUE(PassesCheck(target / "SYS"));
    EXPECT_TRUE(Leftovers(target.Path()).empty());
}

TEST_F(DiskFull, TheBatchStopsAndKeepsTheOldOutputs) {
    const std::string folder = AddTrailingBackslash(sources.Path());
    Source("a.bin", 10000);
    Source("b.bin", 10000);
    fs::create_directory(sources / "Bin_Dst");
    const std::string rom = ComposePath(sources / "Bin_Dst", "a.rom");
    test::WriteBytes(rom, test::Text("old rom"));
    EXPECT_EQ(Run([&] {
                  return Describe(RunBatch(folder, BatchFileType::Bin, {{"a.bin", "a.rom", ""}, {"b.bin", "b.rom", ""}}));
              }),
              FileErrorLine(DiskFullText(rom)));
    EXPECT_EQ(test::ReadBytes(rom), test::Text("old rom"));
    EXPECT_FALSE(fs::exists(ComposePath(sources / "Bin_Dst", "b.rom")));

    // The update file of a row, written on its own (in a batch the larger ROM
    // image of the row fills the disk first).
    const std::string update = ComposePath(sources / "Bin_Dst", "SYS");
    test::WriteBytes(update, SoundUpdateFile());
    Source("big.bin", 200000);
    EXPECT_EQ(Run([&] {
                  PosixFile source = PosixFile::OpenForReading(sources / "big.bin");
                  ConversionOutcome outcome;
                  try {
                      WriteUpdateFile(source, update, outcome);
                  } catch (const FileError& error) {
                      return std::string(error.what());
                  }
                  return "no failure: " + Describe(outcome);
              }),
              DiskFullText(update));
    EXPECT_EQ(test::ReadBytes(update), SoundUpdateFile());
    EXPECT_TRUE(Leftovers(sources.Path()).empty());
}

// --- A folder that cannot be listed ----------------------------------------

class UnlistableFolder : public ::testing::Test {
protected:
    void SetUp() override {
        // The unprivileged child must reach the folders; "locked" may be
        // entered but not read, "open" may be both.
        ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
        for (const char* name : {"locked", "open"}) {
            fs::create_directory(folder / name);
            test::WriteBytes(ComposePath(folder / name, "a.bin"), test::Pattern(100));
        }
        ASSERT_EQ(::chmod((folder / "locked").c_str(), 0333), 0);
        ASSERT_EQ(::chmod((folder / "open").c_str(), 0777), 0);
    }
    // Readable again, so that the folder can be removed by a user that is
    // not root.
    void TearDown() override { ::chmod((folder / "locked").c_str(), 0755); }
    // Runs body as a user whom permissions bind.
    std::string AsUser(const std::function<std::string()>& body) {
        ChildOptions options;
        options.unprivileged = true;
        const auto child = RunInChild(body, options);
        EXPECT_EQ(child.exitStatus, 0) << "the child could not become an unprivileged user";
        return child.output;
    }
    std::string Listing(const std::string& path) {
        const BatchListing listing = ListBatchFolder(path, BatchFileType::Bin);
        std::string text = listing.error.value_or("listed");
        for (const BatchRow& row : listing.rows) text += " " + row.sourceName;
        return text;
    }
    TemporaryFolder folder;
};

TEST_F(UnlistableFolder, ListingFailsWithTheFoldersFileErrorText) {
    const std::string locked = AddTrailingBackslash(folder / "locked");
    const std::string open = AddTrailingBackslash(folder / "open");
    EXPECT_EQ(AsUser([&] { return Listing(open); }), "listed a.bin");  // the user can list what is readable
    EXPECT_EQ(AsUser([&] { return Listing(locked); }), "Access to " + locked + " was denied.");
    EXPECT_EQ(AsUser([&] { return std::to_string(ListBatchFiles(locked, BatchFileType::Bin).size()); }), "0");
    EXPECT_EQ(Listing(AddTrailingBackslash(folder / "missing")), folder / "missing/ was not found.");
    EXPECT_EQ(Listing(AddTrailingBackslash(folder / "open/a.bin")), folder / "open/a.bin/ contains an invalid path.");
}

TEST_F(UnlistableFolder, TheBatchFailsWithTheFoldersFileErrorText) {
    const std::string locked = AddTrailingBackslash(folder / "locked");
    const std::string text = "Access to " + locked + " was denied.";
    EXPECT_EQ(AsUser([&] { return Describe(RunBatch(locked, BatchFileType::Bin, {})); }), FileErrorLine(text));
    // Nothing was made before the failure.
    EXPECT_FALSE(fs::exists(folder / "locked/Bin_Dst"));
    // A readable folder still finishes, and a missing one keeps its rule:
    // nothing to list, nothing converted.
    EXPECT_EQ(AsUser([&] { return Describe(RunBatch(AddTrailingBackslash(folder / "open"), BatchFileType::Bin, {})); }),
              "Prompt: File converting finished!\nfinished\n");
    EXPECT_EQ(Describe(RunBatch(AddTrailingBackslash(folder / "missing"), BatchFileType::Bin, {})),
              "Prompt: File converting finished!\nfinished\n");
}

}  // namespace
}  // namespace quorlin
