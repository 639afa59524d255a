#pragma once
// Texts of the converter dialogs that the converters' core does not return:
// the folder chooser's title, the batch list's column titles and the texts
// that explain a refused drop. The core's messages are in
// convert/ConvertMessages.h.

namespace quorlin::convertui {

inline constexpr const char* kTitleSelectFolder = "Select the folder:";  // 42823
inline constexpr const char* kColumnSourceFile = "Source file";          // 42831
inline constexpr const char* kColumnRomFile = "Dst. ROM file";           // 42832
inline constexpr const char* kColumnUpdateFile = "Dst update file";      // 42833

// A drop that names something other than a file on this computer.
inline constexpr const char* kTextDroppedFolder = "%1 is a folder: drop a file to convert.";
inline constexpr const char* kTextDroppedNotLocal =
    "%1 is not a file on this computer: save it to a folder first, then drop it from there.";
// A conversion the core gave up on with an exception instead of a message.
inline constexpr const char* kTextConversionStopped = "The conversion stopped: %1";

}  // namespace quorlin::convertui
