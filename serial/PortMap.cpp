#include "serial/PortMap.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace quorlin {
namespace {

// The device a link leads to, or the link itself when it leads nowhere yet.
// A link whose target is a network address ("rfc2217://HOST:PORT") names
// that address: the text need not exist as a file.
std::string Resolved(const std::string& link) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length > 0) {
        const std::string text(target, static_cast<size_t>(length));
        if (text.find("://") != std::string::npos) return text;
    }
    return ::realpath(link.c_str(), target) ? std::string(target) : link;
}

bool PathExists(const std::string& path) {
    struct stat info;
    // lstat: a dangling link still names the port; opening it will fail.
    return ::lstat(path.c_str(), &info) == 0;
}

std::string UserPortsFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && *config) {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) return {};
        base = std::string(home) + "/.config";
    }
    return base + "/Morvale CNC/ports";
}

std::string FixedTablePath(unsigned port) {
    struct Range {
        unsigned first;
        const char* prefix;
    };
    static constexpr Range kRanges[] = {{1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}};
    constexpr unsigned kPerRange = 32;
    for (const Range& range : kRanges)
        if (port >= range.first && port < range.first + kPerRange)
            return range.prefix + std::to_string(port - range.first);
    return {};
}

}  // namespace

std::string PortLinkFolder() {
    const char* folder = std::getenv(kPortsFolderVariable);
    if (folder && *folder) return folder;
    return UserPortsFolder();
}

std::string PortDevicePath(unsigned port) {
    const std::string linkName = "/COM" + std::to_string(port);
    const char* folder = std::getenv(kPortsFolderVariable);
    if (folder && *folder) {
        std::string link = folder + linkName;
        return PathExists(link) ? Resolved(link) : std::string();
    }
    std::string userFolder = UserPortsFolder();
    if (!userFolder.empty() && PathExists(userFolder + linkName)) return Resolved(userFolder + linkName);
    return FixedTablePath(port);
}

}  // namespace quorlin
