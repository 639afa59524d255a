#pragma once
// Reading and writing a program file, with the reason of a failure kept for
// the message that reports it. A save never leaves a part-written file in
// place of the old one: the bytes go to a new file beside the target, which
// then replaces it in one rename.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

namespace quorlin {

// The largest file the editor takes: an open program needs about twelve
// times its size in memory (its text, its lines and their layouts), and
// larger programs are sent with Send File, which streams them.
inline constexpr qint64 kMaxEditableBytes = 256LL * 1024 * 1024;

enum class NcFileFailure { None, NotFound, AccessDenied, TooLarge, Binary, DiskFull, Other };

struct FileResult {
    NcFileFailure failure = NcFileFailure::None;
    int systemError = 0;  // errno of the failed call, 0 when none applies
    bool ok() const { return failure == NcFileFailure::None; }
};

FileResult LoadNcFile(const QString& path, QByteArray& bytes, qint64 maxBytes = kMaxEditableBytes);

// Reads path a piece at a time, handing each piece to take with the file's
// size as it was when opened; take returns false to stop the reading (the
// result is then a success). Refused like LoadNcFile: too large, a NUL byte.
using NcPieceTaker = std::function<bool(const char* data, qsizetype size, qint64 fileSize)>;
FileResult ReadNcFile(const QString& path, qint64 maxBytes, const NcPieceTaker& take);

// Writes bytes to path through a temporary file in the same folder; the
// target keeps its permissions (a new one gets the user's default). Links
// are followed, so a linked program is replaced where it lives.
FileResult SaveNcFile(const QString& path, const QByteArray& bytes);

}  // namespace quorlin
