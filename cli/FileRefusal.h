#pragma once
// The check of a transfer command's FILE before the port is touched: one
// file per system (FileRefusalPosix.cpp, FileRefusalWin32.cpp).

#include <optional>
#include <string>

namespace quorlin::cli {

enum class FileRole { Source, Target };

// A FILE that the transfer would wait on for ever (a named pipe, a device)
// or that is no file at all (a folder) is refused before the port is
// touched: the reason, or nothing when FILE may be used. A target that does
// not exist yet is created by the receive; its folder is the engine's
// business.
std::optional<std::string> RefuseFile(const std::string& path, FileRole role);

}  // namespace quorlin::cli
