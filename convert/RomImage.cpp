#include "convert/RomImage.h"

#include "convert/FileError.h"
#include "convert/UpdateFile.h"

namespace quorlin {

std::uint64_t FillRomImage(SeekableFile& source, const std::string& sourcePath, SeekableFile& image) {
    std::uint64_t written = 0;
    while (written < kRomFillSize) {
        source.Seek(0);
        std::uint64_t copied = CopyToEnd(source, image);
        if (copied == 0) throw FileError(FileErrorCause::EndOfFile, sourcePath);
        written += copied;
    }
    return written;
}

}  // namespace quorlin
