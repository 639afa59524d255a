#pragma once
// The checks a download runs on its image, offered without exceptions: what
// the file layer throws stays inside convert/ and comes back as a value.

#include <cstdint>
#include <optional>
#include <string>

#include "convert/FileError.h"

namespace quorlin {

class SeekableFile;

struct ImageCheck {
    bool accepted = false;     // an image the download may send
    uint32_t expectedSum = 0;  // the byte sum the controller's verdict is compared with
    std::optional<FileFailure> failure;  // the file could not be read
};

// Checks file (positioned at its start) as the image of download kind kind.
// Kinds 3 and 5: an update file whose checksum matches; the sum is its
// header's checksum. Kind 4: a picture bitmap; the sum is that of its pixel
// data (offset 1078 on), which is what the blocks carry. Kinds 1 and 2 go
// out unchecked (accepted, sum 0). A file that cannot be read is not
// accepted, and failure says why.
ImageCheck CheckDownloadImage(SeekableFile& file, int kind) noexcept;

}  // namespace quorlin
