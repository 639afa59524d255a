// The Batch convert dialog's file logic on a real folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "convert/BatchConverter.h"
#include "convert/Paths.h"
#include "convert/UpdateFile.h"
#include "tests/convert/ByteFiles.h"
#include "tests/support/TemporaryFolder.h"

namespace quorlin {
namespace {

using test::Bytes;
using test::TemporaryFolder;

const DialogMessage kFinished{"File converting finished!", "Prompt", MessageIcon::Exclamation};

std::vector<BatchRow> Sorted(std::vector<BatchRow> rows) {
    std::sort(rows.begin(), rows.end(), [](const BatchRow& a, const BatchRow& b) { return a.sourceName < b.sourceName; });
    return rows;
}

class Batch : public ::testing::Test {
protected:
    std::string Folder() const { return AddTrailingBackslash(folder.Path()); }
    std::string Output(const std::string& name) const { return ComposePath(folder / "Bin_Dst", name); }
    TemporaryFolder folder;
};

TEST_F(Batch, ListsFilesOfTheChosenExtensionWithTheirRomNames) {
    test::WriteBytes(folder / "ABC.bin", {1});
    test::WriteBytes(folder / "upper.BIN", {1});
    test::WriteBytes(folder / "v1.2.bin", {1});
    test::WriteBytes(folder / "data.dat", {1});
    test::WriteBytes(folder / "notes.txt", {1});
    std::filesystem::create_directory(folder / "folder.bin");  // listed too: matches are not filtered
    EXPECT_EQ(Sorted(ListBatchFiles(Folder(), BatchFileType::Bin)),
              (std::vector<BatchRow>{{"ABC.bin", "ABC.rom", ""},
                                     {"folder.bin", "folder.rom", ""},
                                     {"upper.BIN", "upper.rom", ""},
                                     {"v1.2.bin", "v1.2.rom", ""}}));
    EXPECT_EQ(ListBatchFiles(Folder(), BatchFileType::Dat), (std::vector<BatchRow>{{"data.dat", "data.rom", ""}}));
    EXPECT_TRUE(ListBatchFiles(folder / "missing/", BatchFileType::Bin).empty());
}

TEST_F(Batch, MakeOutputFolderCreatesOneLevelInsideTheFolder) {
    const std::string dotted = folder / "release.2026";
    std::filesystem::create_directory(dotted);
    const std::string made = MakeOutputFolder(AddTrailingBackslash(dotted), BatchFileType::Dat);
    EXPECT_EQ(made, AddTrailingBackslash(ComposePath(dotted, "Dat_Dst")));
    EXPECT_TRUE(std::filesystem::is_directory(ComposePath(dotted, "Dat_Dst")));
    // Already there: kept as it is, with what it holds.
    test::WriteBytes(ComposePath(made, "keep"), {1});
    EXPECT_EQ(MakeOutputFolder(AddTrailingBackslash(dotted), BatchFileType::Dat), made);
    EXPECT_TRUE(std::filesystem::exists(ComposePath(made, "keep")));
}

TEST_F(Batch, WritesRomImagesAndTaggedUpdateFiles) {
    const Bytes abc = test::Pattern(131072, 1);
    const Bytes big = test::Pattern(600000, 2);
    test::WriteBytes(folder / "ABC.bin", abc);
    test::WriteBytes(folder / "big.bin", big);
    const ConversionOutcome outcome = RunBatch(Folder(), BatchFileType::Bin,
                                               {{"ABC.bin", "ABC.rom", ""}, {"big.bin", "big.rom", "SYS"}});
    EXPECT_EQ(outcome.messages, std::vector<DialogMessage>{kFinished});
    EXPECT_TRUE(outcome.finished);

    const Bytes rom = test::ReadBytes(Output("ABC.rom"));
    EXPECT_EQ(rom.size(), 524288u);
    EXPECT_EQ(test::Slice(rom, 3 * 131072, rom.size()), abc);
    EXPECT_EQ(test::ReadBytes(Output("big.rom")), big);

    const Bytes update = test::ReadBytes(Output("SYS"));
    ASSERT_EQ(update.size(), 22u + big.size());
    EXPECT_EQ(test::Slice(update, 0, 3), test::Text("%QZ"));
    for (std::size_t i = 3; i < 14; ++i) EXPECT_EQ(update[i], 0) << i;
    EXPECT_EQ(ReadLittleEndian32(update.data() + 14), test::ReferenceSum(big));
    EXPECT_EQ(ReadLittleEndian32(update.data() + 18), big.size());
    EXPECT_EQ(test::Slice(update, 22, update.size()), big);
    std::vector<std::string> outputs;
    for (const auto& e : std::filesystem::directory_iterator(folder / "Bin_Dst")) outputs.push_back(e.path().filename().string());
    std::sort(outputs.begin(), outputs.end());
    EXPECT_EQ(outputs, (std::vector<std::string>{"ABC.rom", "SYS", "big.rom"}));
}

TEST_F(Batch, TheLaterRowsUpdateFileReplacesAnEarlierOneOfTheSameTag) {
    test::WriteBytes(folder / "a.bin", test::Pattern(100, 1));
    const Bytes b = test::Pattern(200, 2);
    test::WriteBytes(folder / "b.bin", b);
    ASSERT_TRUE(RunBatch(Folder(), BatchFileType::Bin, {{"a.bin", "a.rom", "UDA"}, {"b.bin", "b.rom", "UDA"}}).finished);
    EXPECT_EQ(test::Slice(test::ReadBytes(Output("UDA")), 22, 222), b);
}

// a.bin, a.BIN and a.Bin all make a.rom: the batch refuses before writing
// anything instead of keeping only the last and saying it finished. Where
// two names reach one file (a link here, a folder that ignores case on a
// memory card), the second image stops the batch rather than replace the first.
TEST_F(Batch, NeverOverwritesAnImageItMadeInTheSameRun) {
#ifdef _WIN32
    GTEST_SKIP() << "names that differ only in case are one file here";
#endif
    for (const char* name : {"a.bin", "a.BIN", "a.Bin"}) test::WriteBytes(folder / name, test::Pattern(100, name[2]));
    const std::vector<BatchRow> rows = ListBatchFiles(Folder(), BatchFileType::Bin);
    ASSERT_EQ(rows.size(), 3u);
    ConversionOutcome outcome = RunBatch(Folder(), BatchFileType::Bin, rows);
    EXPECT_FALSE(outcome.finished);
    ASSERT_EQ(outcome.messages.size(), 1u);
    EXPECT_NE(outcome.messages[0].text.find("a.rom"), std::string::npos) << outcome.messages[0].text;
    EXPECT_FALSE(std::filesystem::exists(Output("a.rom")));

    std::filesystem::remove(folder / "a.BIN");
    std::filesystem::remove(folder / "a.Bin");
    test::WriteBytes(folder / "b.bin", test::Pattern(100, 2));
    std::filesystem::create_directory(folder / "Bin_Dst");
    std::filesystem::create_symlink("a.rom", folder / "Bin_Dst/b.rom");
    outcome = RunBatch(Folder(), BatchFileType::Bin, {{"a.bin", "a.rom", ""}, {"b.bin", "b.rom", ""}});
    EXPECT_FALSE(outcome.finished);
    ASSERT_EQ(outcome.messages.size(), 1u);
    EXPECT_NE(outcome.messages[0].text.find("just made from a.bin"), std::string::npos) << outcome.messages[0].text;
    EXPECT_EQ(test::Slice(test::ReadBytes(Output("a.rom")), 0, 100), test::Pattern(100, 'b'));
}

TEST_F(Batch, StopsAtTheFirstFailureKeepingEarlierOutputs) {
    test::WriteBytes(folder / "a.bin", test::Pattern(100));
    test::WriteBytes(folder / "c.bin", test::Pattern(100));
    const std::string missing = folder.Path() + kPathSeparator + "b.bin";
    const ConversionOutcome outcome = RunBatch(
        Folder(), BatchFileType::Bin, {{"a.bin", "a.rom", "QVA"}, {"b.bin", "b.rom", ""}, {"c.bin", "c.rom", ""}});
    const std::string text = missing + " was not found.";
    EXPECT_EQ(outcome.messages, (std::vector<DialogMessage>{{text, text, MessageIcon::Error}}));
    EXPECT_FALSE(outcome.finished);
    EXPECT_TRUE(std::filesystem::exists(Output("a.rom")));
    EXPECT_TRUE(std::filesystem::exists(Output("QVA")));
    EXPECT_FALSE(std::filesystem::exists(Output("c.rom")));
}

TEST_F(Batch, AnOutputThatCannotBeCreatedStopsTheBatchWithItsFileError) {
    test::WriteBytes(folder / "a.bin", test::Pattern(100));
    test::WriteBytes(folder / "b.bin", test::Pattern(100));
    std::filesystem::create_directories(Output("a.rom"));  // a folder in the way
    const ConversionOutcome outcome =
        RunBatch(Folder(), BatchFileType::Bin, {{"a.bin", "a.rom", ""}, {"b.bin", "b.rom", ""}});
    const std::string text = "Access to " + Output("a.rom") + " was denied.";
    EXPECT_EQ(outcome.messages, (std::vector<DialogMessage>{{text, text, MessageIcon::Error}}));
    EXPECT_FALSE(std::filesystem::exists(Output("b.rom")));
}

TEST_F(Batch, AnEmptySourceIsRefusedInsteadOfFillingForever) {
    test::WriteBytes(folder / "empty.bin", {});
    test::WriteBytes(folder / "later.bin", test::Pattern(10));
    const ConversionOutcome outcome =
        RunBatch(Folder(), BatchFileType::Bin, {{"empty.bin", "empty.rom", ""}, {"later.bin", "later.rom", ""}});
    ASSERT_EQ(outcome.messages.size(), 1u);
    EXPECT_EQ(outcome.messages[0].text, Folder() + "empty.bin is empty: a ROM image cannot be made from it.");
    EXPECT_EQ(outcome.messages[0].icon, MessageIcon::Error);
    EXPECT_FALSE(outcome.finished);
    EXPECT_FALSE(std::filesystem::exists(Output("empty.rom")));
    EXPECT_FALSE(std::filesystem::exists(Output("later.rom")));
}

TEST_F(Batch, AnEmptyListStillMakesTheOutputFolderAndFinishes) {
    const ConversionOutcome outcome = RunBatch(Folder(), BatchFileType::Dat, {});
    EXPECT_EQ(outcome.messages, std::vector<DialogMessage>{kFinished});
    EXPECT_TRUE(std::filesystem::is_directory(folder / "Dat_Dst"));
}

TEST_F(Batch, AnUpdateFileLongerThanThe32BitLengthIsRefused) {
    // Sparse: the refusal comes before a byte is read or written.
    test::WriteBytes(folder / "huge.bin", {});
    std::filesystem::resize_file(folder / "huge.bin", (4LL << 30) + 1);
    PosixFile source = PosixFile::OpenForReading(folder / "huge.bin");
    ConversionOutcome outcome;
    EXPECT_FALSE(WriteUpdateFile(source, folder / "SYS", outcome));
    ASSERT_EQ(outcome.messages.size(), 1u);
    EXPECT_NE(outcome.messages[0].text.find("at most 4294967295 bytes"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder / "SYS"));
}

TEST(UpdateFileTags, AreTheNineNamesInListOrder) {
    EXPECT_EQ(std::vector<std::string>(kUpdateFileTags.begin(), kUpdateFileTags.end()),
              (std::vector<std::string>{"QVA", "QV2", "SYS", "DTA", "UDA", "UDB", "UDC", "UDD", "UDE"}));
    EXPECT_TRUE(IsUpdateFileTag("UDE"));
    EXPECT_FALSE(IsUpdateFileTag("sys"));
    EXPECT_FALSE(IsUpdateFileTag("QZSYS"));
}

}  // namespace
}  // namespace quorlin
