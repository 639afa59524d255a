#include "convert/OutputFile.h"

#include <utility>

#include "convert/NativeFile.h"
#include "convert/Paths.h"

namespace quorlin {

namespace {

// The temporary file is ".<start of the target's name>.<process>-<number>.part"
// in the target's folder: hidden from listings, never matching a batch's
// "*.bin" or "*.dat", and telling whoever finds one after a crash what it was.
constexpr std::size_t kTemporaryStemLength = 64;
constexpr const char* kTemporarySuffix = ".part";

}  // namespace

std::string native::TemporaryPathFor(const std::string& destination, std::uint64_t processId,
                                     std::uint64_t number) {
    const auto slash = destination.find_last_of(kFolderEnds);
    const std::string folder = slash == std::string::npos ? std::string() : destination.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? destination : destination.substr(slash + 1);
    return folder + "." + name.substr(0, kTemporaryStemLength) + "." + std::to_string(processId) + "-" +
           std::to_string(number) + kTemporarySuffix;
}

OutputFile OutputFile::Create(const std::string& target) {
    native::Replacement replacement = native::CreateReplacement(target);
    return OutputFile(PosixFile::Adopt(replacement.file, target), target, std::move(replacement.destination),
                      std::move(replacement.temporary));
}

OutputFile::OutputFile(PosixFile file, std::string target, std::string destination, std::string temporary)
    : file_(std::move(file)),
      target_(std::move(target)),
      destination_(std::move(destination)),
      temporary_(std::move(temporary)) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : file_(std::move(other.file_)),
      target_(std::move(other.target_)),
      destination_(std::move(other.destination_)),
      temporary_(std::exchange(other.temporary_, std::string())) {}

OutputFile::~OutputFile() {
    file_.Discard();
    RemoveTemporary();
}

void OutputFile::Commit() {
    // Synced before the rename: otherwise a power cut could leave the
    // target's name on a file whose bytes never reached the disk.
    file_.Sync();
    file_.Close();
    native::Replace(temporary_, destination_, target_);
    temporary_.clear();
}

void OutputFile::RemoveTemporary() {
    if (temporary_.empty()) return;
    native::RemoveQuietly(temporary_);
    temporary_.clear();
}

}  // namespace quorlin
