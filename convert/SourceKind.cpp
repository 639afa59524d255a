#include "convert/SourceKind.h"

#include <algorithm>
#include <cctype>

namespace quorlin {

SourceKind KindOfPath(const std::string& path) {
    if (path.empty()) return SourceKind::None;
    auto dot = path.rfind('.');
    if (dot == std::string::npos) return SourceKind::NoExt;
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".bmp") return SourceKind::Bmp;
    if (extension == ".bin") return SourceKind::Bin;
    if (extension == ".dat") return SourceKind::Dat;
    return SourceKind::None;
}

}  // namespace quorlin
