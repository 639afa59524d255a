#include "transfer/Machine.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "serial/PortDevice.h"
#include "serial/PortMap.h"
#include "serial/ProbePorts.h"
#include "transfer/CommSettings.h"

namespace quorlin {

namespace {

namespace fs = std::filesystem;

std::optional<unsigned> WholeNumber(const std::string& text, unsigned highest) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > highest) return std::nullopt;
    return value;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    size_t i = 0;
    for (; prefix[i] != '\0'; ++i)
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

// The device itself, links followed, so that two names of it compare equal.
std::string SameDevice(const std::string& path) {
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(fs::path(path), error);
    return error ? path : canonical.string();
}

std::string FolderAndName(const std::string& folder, const std::string& name) {
    return (fs::path(folder) / fs::path(name)).string();
}

}  // namespace

std::optional<std::string> ParseMachinePort(const std::string& text, unsigned& number) {
    if (text.empty()) return std::string("it names no port (Port=COM<N> or a device path)");
    if (PortTargetKindOf(text) != PortTargetKind::LocalDevice) {
        const std::string hostAndPort = text.substr(text.find("://") + 3);
        const size_t colon = hostAndPort.rfind(':');
        if (colon == std::string::npos || colon == 0 || !WholeNumber(hostAndPort.substr(colon + 1), 65535))
            return "the network port " + text + " names no HOST:PORT";
        number = RegisterNetworkPort(text);
        return std::nullopt;
    }
    if (text.find("://") != std::string::npos)
        return "the port " + text + " is no port this program knows (COM<N>, a device path, rfc2217:// or tcp://)";
    const std::string digits = StartsWithNoCase(text, "com") ? text.substr(3) : text;
    if (auto value = WholeNumber(digits, kHighestPortNumber)) {
        number = *value;
        return std::nullopt;
    }
    if (!fs::path(text).is_absolute())
        return "the port " + text + " is neither COM<N> (N from 0 to 254) nor a device path";
    const std::string device = SameDevice(text);
    for (unsigned candidate = 0; candidate <= kHighestPortNumber; ++candidate) {
        const std::string mapped = PortDevicePath(candidate);
        if (!mapped.empty() && SameDevice(mapped) == device) {
            number = candidate;
            return std::nullopt;
        }
    }
    const std::string folder = PortLinkFolder();
    return "the device " + text + " has no port number: link it as COM<N> in " +
           (folder.empty() ? std::string("the ports folder") : folder);
}

std::optional<std::string> ParseMachine(const MachineEntry& entry, Machine& machine) {
    Machine parsed;
    parsed.name = entry.name;
    parsed.port = entry.port;
    if (auto why = ParseMachinePort(entry.port, parsed.portNumber)) return why;
    const auto family = WholeNumber(entry.family, 4);
    if (!family) return std::string("Family must be 0 to 4");
    parsed.family = static_cast<int>(*family);
    if (!entry.baudIndex.empty()) {
        const auto baudIndex = WholeNumber(entry.baudIndex, 1);
        if (!baudIndex) return std::string("BaudIndex must be 0 or 1");
        parsed.baudIndex = static_cast<int>(*baudIndex);
    }
    parsed.receiveFolder = entry.receiveFolder;
    for (const std::string& folder : entry.sendFolders)
        if (!folder.empty()) parsed.sendFolders.push_back(folder);
    machine = std::move(parsed);
    return std::nullopt;
}

void UseMachineLine(const Machine& machine, CommSettings& settings) {
    settings.sysType = machine.family;
    settings.baudRate = machine.baudIndex;
    settings.baud = settings.BaudForIndex(machine.baudIndex);
    settings.portList = {static_cast<int32_t>(machine.portNumber), 0, 0, 0, 0};
    settings.commPort = 0;
}

bool IsBareFileName(const std::string& name) {
    const fs::path path(name);
    return !name.empty() && !path.has_parent_path() && !path.has_root_name() && name != "." && name != "..";
}

std::optional<std::string> FindInSendFolders(const Machine& machine, const std::string& name) {
    for (const std::string& folder : machine.sendFolders) {
        const std::string path = FolderAndName(folder, name);
        std::error_code error;
        if (fs::is_regular_file(path, error)) return path;
    }
    return std::nullopt;
}

std::string ReceivePath(const Machine& machine, const std::string& name) {
    if (machine.receiveFolder.empty() || !IsBareFileName(name)) return name;
    return FolderAndName(machine.receiveFolder, name);
}

}  // namespace quorlin
