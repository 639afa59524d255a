// The Convert dialog's file logic on real files: kinds, names, payloads, the
// ROM image, and what is refused.

#include <gtest/gtest.h>

#include <filesystem>

#include "convert/Converter.h"
#include "convert/Paths.h"
#include "convert/PosixFile.h"
#include "convert/SourceKind.h"
#include "convert/UpdateFile.h"
#include "tests/convert/ByteFiles.h"
#include "tests/support/TemporaryFolder.h"

namespace quorlin {
namespace {

using test::Bytes;
using test::TemporaryFolder;

const DialogMessage kFinished{"File converting finished!", "Prompt", MessageIcon::Exclamation};
DialogMessage ErrorBox(const std::string& text) { return {text, "Error", MessageIcon::Error}; }

struct Written {
    UpdateFileHeader header;
    Bytes payload;
};

Written ReadUpdateFile(const std::string& path) {
    const Bytes bytes = test::ReadBytes(path);
    EXPECT_GE(bytes.size(), kUpdateHeaderSize);
    HeaderBytes header{};
    std::copy_n(bytes.begin(), kUpdateHeaderSize, header.begin());
    EXPECT_TRUE(HasUpdateMagic(header));
    return {UpdateFileHeader::FromBytes(header), test::Slice(bytes, kUpdateHeaderSize, bytes.size())};
}

bool PassesDownloadCheck(const std::string& path) {
    PosixFile file = PosixFile::OpenForReading(path);
    HeaderBytes header{};
    return CheckUpdateHeader(file, header);
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Convert : public ::testing::Test {
protected:
    std::string Source(const std::string& name, const Bytes& bytes) {
        test::WriteBytes(sources / name, bytes);
        return sources / name;
    }
    ConvertRequest Request(int type, std::string source1, std::string source2 = "") {
        ConvertRequest request;
        request.targetType = type;
        request.targetDir = target.Path();
        request.source1 = std::move(source1);
        request.source2 = std::move(source2);
        return request;
    }

    TemporaryFolder sources;
    TemporaryFolder target;
};

TEST(SourceKind, FollowsTheLastDotOfTheWholePathWithoutRegardToCase) {
    EXPECT_EQ(KindOfPath(""), SourceKind::None);
    EXPECT_EQ(KindOfPath("/data/app.BIN"), SourceKind::Bin);
    EXPECT_EQ(KindOfPath("/data/a.Dat"), SourceKind::Dat);
    EXPECT_EQ(KindOfPath("/data/logo.bmp"), SourceKind::Bmp);
    EXPECT_EQ(KindOfPath("HZK16"), SourceKind::NoExt);
    EXPECT_EQ(KindOfPath("/data/readme.txt"), SourceKind::None);
    EXPECT_EQ(KindOfPath("/data/app."), SourceKind::None);
    EXPECT_EQ(KindOfPath("/data/a.b/HZK16"), SourceKind::None);
    EXPECT_EQ(KindOfPath("/data/app.bin.bak"), SourceKind::None);
}

TEST(TargetFileName, FollowsTheTypeAndTheContentFlags) {
    EXPECT_EQ(TargetFileName(0, 1), "SYS");
    EXPECT_EQ(TargetFileName(0, 4), "SYS");
    EXPECT_EQ(TargetFileName(1, 8), "SYS");
    EXPECT_EQ(TargetFileName(2, 1), "QZSYS");
    EXPECT_EQ(TargetFileName(2, 2), "QZSYS");
    EXPECT_EQ(TargetFileName(2, 3), "QZSYS");
    EXPECT_EQ(TargetFileName(2, 4), "USERPIC");
    EXPECT_EQ(TargetFileName(2, 8), "HZK16");
    for (std::uint8_t noName : {5, 6, 9, 10, 12}) EXPECT_EQ(TargetFileName(2, noName), "") << int(noName);
}

TEST(AddTrailingBackslash, AppendsOnePlatformSeparator) {
    const std::string sep(1, kPathSeparator);
    EXPECT_EQ(AddTrailingBackslash("data"), "data" + sep);
    EXPECT_EQ(AddTrailingBackslash("data" + sep), "data" + sep);
    EXPECT_EQ(AddTrailingBackslash(""), "");
    EXPECT_EQ(ComposePath("", "SYS"), "SYS");
    EXPECT_EQ(ComposePath("out", "SYS"), ComposePath("out" + sep, "SYS"));
}

TEST_F(Convert, Type2BinAloneGivesQzsysWithHeaderVersionAndDate) {
    const Bytes bin = test::Pattern(5000);
    ConvertRequest request = Request(2, Source("app.BIN", bin));
    request.version = "V1";
    request.date = "261207";
    const ConversionOutcome outcome = RunConversion(request);
    EXPECT_EQ(outcome.messages, std::vector<DialogMessage>{kFinished});
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(FilesIn(target.Path()), std::vector<std::string>{"QZSYS"});
    const Written written = ReadUpdateFile(target / "QZSYS");
    EXPECT_EQ(written.header.contentFlags, 2);
    EXPECT_EQ(written.header.version, (std::array<std::uint8_t, 4>{'V', '1', 0, 0}));
    EXPECT_EQ(written.header.date, (std::array<std::uint8_t, 6>{'2', '6', '1', '2', '0', '7'}));
    EXPECT_EQ(written.header.payloadLength, 5000u);
    EXPECT_EQ(written.payload, bin);
    EXPECT_TRUE(PassesDownloadCheck(target / "QZSYS"));
}

TEST_F(Convert, Type2PutsTheDatSourceFirstWhicheverBoxHoldsIt) {
    const Bytes bin = test::Pattern(3000, 1);
    const Bytes dat = test::Pattern(2000, 2);
    ASSERT_TRUE(RunConversion(Request(2, Source("a.bin", bin), Source("b.dat", dat))).finished);
    Written written = ReadUpdateFile(target / "QZSYS");
    EXPECT_EQ(written.header.contentFlags, 3);
    EXPECT_EQ(written.payload, test::Concat(dat, bin));
    EXPECT_EQ(written.header.payloadLength, 5000u);
    EXPECT_TRUE(PassesDownloadCheck(target / "QZSYS"));

    ASSERT_TRUE(RunConversion(Request(2, "", sources / "b.dat")).finished);
    EXPECT_EQ(ReadUpdateFile(target / "QZSYS").payload, dat);
}

TEST_F(Convert, Type2NamesPicturesAndFontsAndRefusesMixedOnes) {
    ASSERT_TRUE(RunConversion(Request(2, Source("logo.bmp", test::Pattern(1100)))).finished);
    EXPECT_EQ(ReadUpdateFile(target / "USERPIC").header.contentFlags, 4);
    ASSERT_TRUE(RunConversion(Request(2, "", Source("HZK16", test::Pattern(900)))).finished);
    EXPECT_EQ(ReadUpdateFile(target / "HZK16").header.contentFlags, 8);

    const ConversionOutcome mixed = RunConversion(Request(2, sources / "logo.bmp", Source("x.bin", {1, 2})));
    EXPECT_EQ(mixed.messages, std::vector<DialogMessage>{ErrorBox("Can't generate the target file!")});
    EXPECT_FALSE(mixed.finished);
}

TEST_F(Convert, Type1LeavesOutTheFirst64KiB) {
    const Bytes bin = test::Pattern(200000);
    ASSERT_TRUE(RunConversion(Request(1, Source("sys.bin", bin))).finished);
    const Written written = ReadUpdateFile(target / "SYS");
    EXPECT_EQ(written.header.payloadLength, 134464u);
    EXPECT_EQ(written.payload, test::Slice(bin, 65536, bin.size()));
    EXPECT_TRUE(PassesDownloadCheck(target / "SYS"));
    EXPECT_EQ(FilesIn(target.Path()), std::vector<std::string>{"SYS"});
}

TEST_F(Convert, Type1SourceOfExactly64KiBGivesAnEmptyPayload) {
    ASSERT_TRUE(RunConversion(Request(1, Source("sys.bin", test::Pattern(65536)))).finished);
    EXPECT_EQ(ReadUpdateFile(target / "SYS").header.payloadLength, 0u);
    EXPECT_TRUE(PassesDownloadCheck(target / "SYS"));
}

TEST_F(Convert, Type1RefusesASourceShorterThan64KiB) {
    const std::string source = Source("sys.bin", test::Pattern(65535));
    const ConversionOutcome outcome = RunConversion(Request(1, source));
    ASSERT_EQ(outcome.messages.size(), 1u);
    EXPECT_EQ(outcome.messages[0].caption, "Error");
    EXPECT_NE(outcome.messages[0].text.find(source + " is shorter than 65536 bytes"), std::string::npos);
    EXPECT_TRUE(FilesIn(target.Path()).empty());
}

TEST_F(Convert, Type0RomImageRepeatsWholeCopiesTo512KiB) {
    const Bytes exact = test::Pattern(131072, 4);
    ASSERT_TRUE(RunConversion(Request(0, Source("a.bin", exact))).finished);
    EXPECT_EQ(FilesIn(target.Path()), (std::vector<std::string>{"66G.dat", "SYS"}));
    EXPECT_EQ(std::filesystem::file_size(target / "SYS"), 22u + 131072u);
    const Bytes rom = test::ReadBytes(target / "66G.dat");
    ASSERT_EQ(rom.size(), 524288u);
    for (std::size_t copy = 0; copy < 4; ++copy)
        EXPECT_EQ(test::Slice(rom, copy * 131072, (copy + 1) * 131072), exact) << copy;

    const Bytes odd = test::Pattern(300000, 5);
    ASSERT_TRUE(RunConversion(Request(0, Source("b.bin", odd))).finished);
    EXPECT_EQ(test::ReadBytes(target / "66G.dat"), test::Concat(odd, odd));
}

TEST_F(Convert, Type0RefusesAnEmptySourceAndWritesNothing) {
    const std::string source = Source("empty.bin", {});
    const ConversionOutcome outcome = RunConversion(Request(0, source));
    EXPECT_EQ(outcome.messages,
              std::vector<DialogMessage>{ErrorBox(source + " is empty: a ROM image cannot be made from it.")});
    EXPECT_TRUE(FilesIn(target.Path()).empty());
}

TEST_F(Convert, Types0And1CountOnlyTheSourceTheyWrite) {
    const Bytes bin = test::Pattern(70000, 1);
    const Bytes dat = test::Pattern(90000, 2);
    for (int type : {0, 1}) {
        ASSERT_TRUE(RunConversion(Request(type, Source("a.bin", bin), Source("b.dat", dat))).finished) << type;
        const Written written = ReadUpdateFile(target / "SYS");
        const std::size_t start = type == 1 ? 65536 : 0;
        EXPECT_EQ(written.payload, test::Slice(bin, start, bin.size())) << type;
        EXPECT_EQ(written.header.payloadLength, bin.size() - start) << type;
        EXPECT_EQ(written.header.contentFlags, 2) << type;
        EXPECT_TRUE(PassesDownloadCheck(target / "SYS")) << type;
    }
    // With the first box unusable, the second box's source is the payload.
    ASSERT_TRUE(RunConversion(Request(0, Source("notes.txt", {1}), sources / "b.dat")).finished);
    EXPECT_EQ(ReadUpdateFile(target / "SYS").payload, dat);
    EXPECT_EQ(test::ReadBytes(target / "66G.dat").size(), 6u * 90000u);
}

TEST_F(Convert, ASourceOfNoKnownKindBesideAUsableOneIsIgnored) {
    const Bytes bin = test::Pattern(1000);
    ASSERT_TRUE(RunConversion(Request(2, Source("readme.txt", test::Pattern(50)), Source("a.bin", bin))).finished);
    const Written written = ReadUpdateFile(target / "QZSYS");
    EXPECT_EQ(written.header.contentFlags, 2);
    EXPECT_EQ(written.payload, bin);
}

TEST_F(Convert, TargetFolderWithOrWithoutSeparatorAndWithADot) {
    const std::string source = Source("a.bin", test::Pattern(100));
    const std::string dotted = target / "out.v1";
    std::filesystem::create_directory(dotted);
    for (const std::string& folder : {dotted, AddTrailingBackslash(dotted)}) {
        std::filesystem::remove(ComposePath(dotted, "QZSYS"));
        ConvertRequest request = Request(2, source);
        request.targetDir = folder;
        ASSERT_TRUE(RunConversion(request).finished) << folder;
        EXPECT_TRUE(PassesDownloadCheck(ComposePath(dotted, "QZSYS"))) << folder;
    }
}

TEST_F(Convert, EmptyTargetFolderWritesIntoTheCurrentFolder) {
    const std::string source = Source("a.bin", test::Pattern(100));
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(target.Path());
    ConvertRequest request = Request(2, source);
    request.targetDir = "";
    const bool finished = RunConversion(request).finished;
    std::filesystem::current_path(previous);
    EXPECT_TRUE(finished);
    EXPECT_TRUE(PassesDownloadCheck(target / "QZSYS"));
}

TEST_F(Convert, RefusesSourcesOfNoKindOrOfTheSameKindWithoutOpeningThem) {
    EXPECT_EQ(RunConversion(Request(2, "", "")).messages, std::vector<DialogMessage>{ErrorBox("File type error!")});
    EXPECT_EQ(RunConversion(Request(2, "a.txt", "b.doc")).messages,
              std::vector<DialogMessage>{ErrorBox("File type error!")});
    EXPECT_EQ(RunConversion(Request(2, sources / "missing1.bin", sources / "missing2.BIN")).messages,
              std::vector<DialogMessage>{ErrorBox("The file type of source file can't the same!")});
    EXPECT_TRUE(FilesIn(target.Path()).empty());
}

TEST_F(Convert, ASourceThatCannotBeOpenedShowsItsFileErrorText) {
    const std::string missing = sources / "missing.bin";
    EXPECT_EQ(RunConversion(Request(2, missing)).messages,
              std::vector<DialogMessage>{ErrorBox(missing + " was not found.")});
    // Both boxes failing show both texts, first box first.
    const std::string missingDat = sources / "missing.dat";
    EXPECT_EQ(RunConversion(Request(2, missing, missingDat)).messages,
              (std::vector<DialogMessage>{ErrorBox(missing + " was not found."),
                                          ErrorBox(missingDat + " was not found.")}));
    EXPECT_TRUE(FilesIn(target.Path()).empty());
}

TEST_F(Convert, Type0StillWritesTheRomImageWhenTheUpdateFileCannotBeCreated) {
    std::filesystem::create_directory(target / "SYS");  // a folder where the file should go
    const Bytes bin = test::Pattern(600000);
    const ConversionOutcome outcome = RunConversion(Request(0, Source("a.bin", bin)));
    EXPECT_EQ(outcome.messages, std::vector<DialogMessage>{ErrorBox("Can't generate the target file!")});
    EXPECT_FALSE(outcome.finished);
    EXPECT_EQ(test::ReadBytes(target / "66G.dat"), bin);
}

TEST_F(Convert, AMissingTargetFolderFailsBothOutputsWithoutCompletion) {
    ConvertRequest request = Request(0, Source("a.bin", test::Pattern(10)));
    request.targetDir = target / "missing";
    EXPECT_EQ(RunConversion(request).messages,
              (std::vector<DialogMessage>{ErrorBox("Can't generate the target file!"),
                                          ErrorBox("Can't generate the target file!")}));
}

TEST_F(Convert, RefusesToOverwriteItsOwnSource) {
    const Bytes dat = test::Pattern(1000);
    test::WriteBytes(target / "66G.dat", dat);
    ConversionOutcome outcome = RunConversion(Request(0, target / "66G.dat"));
    ASSERT_EQ(outcome.messages.size(), 1u);
    EXPECT_NE(outcome.messages[0].text.find("is a source of this conversion"), std::string::npos);
    EXPECT_EQ(test::ReadBytes(target / "66G.dat"), dat);
    EXPECT_FALSE(std::filesystem::exists(target / "SYS"));
}

TEST_F(Convert, RefusesAPayloadLongerThanThe32BitLength) {
    // Sparse files: the refusal comes before a byte is read.
    const std::string dat = sources / "big.dat";
    const std::string bin = sources / "big.bin";
    test::WriteBytes(dat, {});
    test::WriteBytes(bin, {});
    std::filesystem::resize_file(dat, 3LL << 30);
    std::filesystem::resize_file(bin, 1LL << 30);
    const ConversionOutcome outcome = RunConversion(Request(2, bin, dat));
    ASSERT_EQ(outcome.messages.size(), 1u);
    EXPECT_NE(outcome.messages[0].text.find("at most 4294967295 bytes"), std::string::npos);
    EXPECT_TRUE(FilesIn(target.Path()).empty());
}

}  // namespace
}  // namespace quorlin
