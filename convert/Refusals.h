#pragma once
// Sources that cannot make a sound output are refused before anything is
// written, with a text that says why and what to change.

#include <string>

namespace quorlin {

inline constexpr const char* kTextEmptyRomSource = "%1 is empty: a ROM image cannot be made from it.";
inline constexpr const char* kTextShortSourceFor57Q =
    "%1 is shorter than 65536 bytes: there is nothing after its first 64 KiB to convert for 57Q.";
inline constexpr const char* kTextPayloadTooLarge =
    "The sources are too large for an update file: its payload holds at most 4294967295 bytes.";
inline constexpr const char* kTextNotRegularFile =
    "%1 is a device, a pipe or a socket, not a file on disk: choose a regular file.";
inline constexpr const char* kTextTargetIsSource =
    "%1 is a source of this conversion and cannot be overwritten by it; choose another target folder.";
inline constexpr const char* kTextSameOutputTwice =
    "%1 and %2 would both be converted into %3, and the second would overwrite the first: rename one of "
    "them or delete its row, then convert again. Nothing was converted.";
inline constexpr const char* kTextOutputMadeTwice =
    "%2 would be converted into %3, which this batch has just made from %1 (the folder does not tell "
    "upper from lower case): rename one of them or delete its row. The conversion stopped here.";

// text with "%1" replaced by path.
std::string WithPath(const char* text, const std::string& path);

}  // namespace quorlin
