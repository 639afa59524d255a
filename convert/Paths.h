#pragma once
// Folder paths as the converters build them: a folder text followed directly
// by a file name, with the platform's separator between.

#include <string>

namespace quorlin {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
// Where a folder ends and a name begins: either slash, or a drive's colon.
constexpr const char* kFolderEnds = "\\/:";
#else
constexpr char kPathSeparator = '/';
constexpr const char* kFolderEnds = "/";
#endif

// The path ending in one separator. An empty path stays empty: a lone
// separator would name the root of the file system, not "no folder".
std::string AddTrailingBackslash(const std::string& path);

// folder + separator (when the folder is not empty and lacks one) + name. An
// empty folder gives the name alone, relative to the current folder.
std::string ComposePath(const std::string& folder, const std::string& name);

}  // namespace quorlin
