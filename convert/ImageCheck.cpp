#include "convert/ImageCheck.h"

#include <exception>

#include "convert/UpdateFile.h"

namespace quorlin {

ImageCheck CheckDownloadImage(SeekableFile& file, int kind) noexcept {
    ImageCheck check;
    try {
        if (kind == 3 || kind == 5) {
            HeaderBytes header{};
            check.accepted = CheckUpdateHeader(file, header);
            if (check.accepted) check.expectedSum = UpdateFileHeader::FromBytes(header).checksum;
        } else if (kind == 4) {
            // The bitmap check sums from offset 50, but the blocks carry the
            // pixels from 1078 on, and the verdict compares their sum.
            BitmapHeadBytes head{};
            uint32_t fromHead = 0;
            check.accepted = CheckPictureBitmap(file, head, fromHead);
            if (check.accepted) check.expectedSum = SumFileFrom(file, kPictureBitmapPixelOffset);
        } else {
            check.accepted = true;
        }
    } catch (const FileError& error) {
        check = ImageCheck{};
        check.failure = FileFailure{error.Cause(), error.Path(), error.ErrorNumber(), error.what(), ""};
    } catch (const std::exception& error) {
        check = ImageCheck{};
        check.failure = FileFailure{FileErrorCause::Generic, "", 0, error.what(), ""};
    }
    return check;
}

}  // namespace quorlin
