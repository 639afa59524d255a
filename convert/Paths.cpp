#include "convert/Paths.h"

namespace quorlin {

std::string AddTrailingBackslash(const std::string& path) {
    if (path.empty() || path.back() == kPathSeparator) return path;
    return path + kPathSeparator;
}

std::string ComposePath(const std::string& folder, const std::string& name) {
    return AddTrailingBackslash(folder) + name;
}

}  // namespace quorlin
