#include "convert/Refusals.h"

namespace quorlin {

std::string WithPath(const char* text, const std::string& path) {
    std::string result = text;
    if (auto at = result.find("%1"); at != std::string::npos) result.replace(at, 2, path);
    return result;
}

}  // namespace quorlin
