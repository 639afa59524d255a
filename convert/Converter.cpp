#include "convert/Converter.h"

#include <optional>
#include <stdexcept>
#include <vector>

#include "convert/FileError.h"
#include "convert/OutputFile.h"
#include "convert/Paths.h"
#include "convert/PosixFile.h"
#include "convert/Refusals.h"
#include "convert/RomImage.h"
#include "convert/SourceKind.h"
#include "convert/UpdateFile.h"

namespace quorlin {

namespace {

struct Source {
    PosixFile file;
    SourceKind kind;
};

// The sources that form the payload, in the order they are written. Types 0
// and 1 hold one source only: the first box's if usable, else the second's.
// Type 2 holds a ".dat" source first, then the other one.
std::vector<Source*> PayloadOrder(int targetType, std::optional<Source>& first, std::optional<Source>& second) {
    std::vector<Source*> order;
    if (!kTargetTypes[targetType].joinsSources) {
        order.push_back(first ? &*first : &*second);
        return order;
    }
    if (second && second->kind == SourceKind::Dat) {
        order.push_back(&*second);
        if (first) order.push_back(&*first);
        return order;
    }
    if (first) order.push_back(&*first);
    if (second) order.push_back(&*second);
    return order;
}

// The header's content flags, version and date. Only the sources of the
// payload are described; the checksum and the length follow from the bytes
// that WritePayload copies.
UpdateFileHeader HeaderFields(const ConvertRequest& request, const std::vector<Source*>& payload) {
    UpdateFileHeader header;
    header.version = TextField<kVersionFieldSize>(request.version);
    header.date = TextField<kDateFieldSize>(request.date);
    for (Source* source : payload) header.contentFlags |= FlagOf(source->kind);
    return header;
}

// Writes the header and the payload. The payload's byte sum is taken from the
// very pieces that are copied, and the header is then written again with it:
// the file's bytes are those of summing first and copying after, but the
// sources are read once, and the header always matches the bytes that follow.
void WritePayload(SeekableFile& target, UpdateFileHeader header, const std::vector<Source*>& payload,
                  std::uint64_t start) {
    const HeaderBytes placeholder = header.ToBytes();
    target.Write(placeholder.data(), placeholder.size());
    std::uint64_t copied = 0;
    for (Source* source : payload) {
        source->file.Seek(start);
        copied += CopyToEnd(source->file, target, &header.checksum);
    }
    // Counted from what was copied, so that even a source that changed length
    // since it was measured is described truly.
    header.payloadLength = static_cast<std::uint32_t>(copied);
    const HeaderBytes complete = header.ToBytes();
    target.Seek(0);
    target.Write(complete.data(), complete.size());
}

// Why these sources cannot make a sound output, or nothing when they can.
// opened holds every source opened, the payload's and one left out of it
// alike: no output may replace any of them.
std::optional<std::string> Refusal(const ConvertRequest& request, const std::vector<Source*>& payload,
                                   const std::vector<Source*>& opened, const std::vector<std::string>& targets) {
    const TargetTypeInfo& type = kTargetTypes[request.targetType];
    std::uint64_t total = 0;
    for (Source* source : payload) {
        const std::uint64_t length = source->file.Length();
        if (length < type.payloadStart) return WithPath(kTextShortSourceFor57Q, source->file.Path());
        if (type.writesRomImage && length == 0) return WithPath(kTextEmptyRomSource, source->file.Path());
        total += length - type.payloadStart;
    }
    if (total > kMaxPayloadLength) return std::string(kTextPayloadTooLarge);
    for (Source* source : opened)
        for (const std::string& target : targets)
            if (source->file.IsSameFileAs(target)) return WithPath(kTextTargetIsSource, target);
    return std::nullopt;
}

// The output that will replace path, or nothing (and the dialog's message)
// when it cannot be created.
std::optional<OutputFile> CreateTarget(const std::string& path, ConversionOutcome& outcome) {
    try {
        return OutputFile::Create(path);
    } catch (const FileError&) {
        outcome.Error(kTextCannotCreateTarget);
        return std::nullopt;
    }
}

void WriteRomImage(const std::string& path, Source& source, ConversionOutcome& outcome, bool& failed) {
    std::optional<OutputFile> image = CreateTarget(path, outcome);
    if (!image) {
        failed = true;
        return;
    }
    FillRomImage(source.file, source.file.Path(), image->File());
    image->Commit();
}

void ConvertOpenSources(const ConvertRequest& request, std::optional<Source>& first, std::optional<Source>& second,
                        ConversionOutcome& outcome) {
    const TargetTypeInfo& type = kTargetTypes[request.targetType];
    const std::vector<Source*> payload = PayloadOrder(request.targetType, first, second);
    std::vector<Source*> opened;
    if (first) opened.push_back(&*first);
    if (second) opened.push_back(&*second);

    const UpdateFileHeader header = HeaderFields(request, payload);
    const std::string targetPath =
        ComposePath(request.targetDir, TargetFileName(request.targetType, header.contentFlags));
    const std::string romPath = ComposePath(request.targetDir, kRomImageName);
    std::vector<std::string> targets{targetPath};
    if (type.writesRomImage) targets.push_back(romPath);
    if (auto refusal = Refusal(request, payload, opened, targets)) {
        outcome.Error(*refusal);
        return;
    }

    // Each output replaces its target only once it is whole: a failure
    // part-way leaves the target as it was.
    std::optional<OutputFile> target = CreateTarget(targetPath, outcome);
    bool failed = !target;
    if (target) {
        WritePayload(target->File(), header, payload, type.payloadStart);
        target->Commit();
    }
    if (type.writesRomImage) WriteRomImage(romPath, *payload.front(), outcome, failed);
    if (!failed) outcome.Finished();
}

}  // namespace

std::string TargetFileName(int targetType, std::uint8_t contentFlags) {
    if (targetType < 0 || targetType >= kTargetTypeCount) return {};
    const std::uint8_t datAndBin = FlagOf(SourceKind::Dat) | FlagOf(SourceKind::Bin);
    if (contentFlags != 0 && (contentFlags & ~datAndBin) == 0) return kTargetTypes[targetType].updateFileName;
    if (!kTargetTypes[targetType].joinsSources) return kTargetTypes[targetType].updateFileName;
    if (contentFlags == FlagOf(SourceKind::Bmp)) return kNameUserPicture;
    if (contentFlags == FlagOf(SourceKind::NoExt)) return kNameChineseFont;
    return {};
}

ConversionOutcome RunConversion(const ConvertRequest& request) {
    if (request.targetType < 0 || request.targetType >= kTargetTypeCount)
        throw std::invalid_argument("target type out of range");
    ConversionOutcome outcome;
    const SourceKind kind1 = KindOfPath(request.source1);
    const SourceKind kind2 = KindOfPath(request.source2);
    if (kind1 == SourceKind::None && kind2 == SourceKind::None) {
        outcome.Error(kTextFileTypeError);
        return outcome;
    }
    if (kind1 == kind2) {
        outcome.Error(kTextSameFileType);
        return outcome;
    }

    // A source of kind None beside a usable one is left alone.
    std::optional<Source> first;
    std::optional<Source> second;
    bool firstFailed = false;
    if (kind1 != SourceKind::None) {
        try {
            first.emplace(Source{PosixFile::OpenForReading(request.source1), kind1});
        } catch (const FileError& error) {
            outcome.Error(error.what());
            firstFailed = true;
        }
    }
    if (kind2 != SourceKind::None) {
        try {
            second.emplace(Source{PosixFile::OpenForReading(request.source2), kind2});
        } catch (const FileError& error) {
            outcome.Error(error.what());
            return outcome;
        }
    }
    if (firstFailed) return outcome;

    try {
        ConvertOpenSources(request, first, second, outcome);
    } catch (const FileError& error) {
        // A read or write failure part-way: say which file and why. The
        // output being written is thrown away, its target left as it was;
        // outputs completed before stay, and no completion is claimed.
        outcome.Error(error.what());
    }
    return outcome;
}

}  // namespace quorlin
