#pragma once
// Machine profiles: a named machine tool with its line (port, controller
// family, baud choice) and its folders, kept in the profile in a group of
// its own ("Machine.NAME"). This part turns the texts of a group into a
// checked machine and finds the files of a bare name; reading the profile
// is the host's.

#include <optional>
#include <string>
#include <vector>

namespace quorlin {

struct CommSettings;

// The profile groups of the machines are this prefix and the machine's name.
inline constexpr const char* kMachineGroupPrefix = "Machine.";
// The keys of a machine's group.
inline constexpr const char* kMachinePortKey = "Port";
inline constexpr const char* kMachineFamilyKey = "Family";
inline constexpr const char* kMachineBaudIndexKey = "BaudIndex";
inline constexpr const char* kMachineReceiveFolderKey = "ReceiveFolder";
inline constexpr const char* kMachineSendFoldersKey = "SendFolders";

// A machine's group as the profile holds it: each key's value, a list for
// SendFolders; a key that is not there is empty.
struct MachineEntry {
    std::string name;
    std::string port, family, baudIndex, receiveFolder;
    std::vector<std::string> sendFolders;
};

struct Machine {
    std::string name;
    std::string port;          // as written: "COM3", "3", a device path or a network address
    unsigned portNumber = 0;   // the number the line is opened by
    int family = 0;            // 0 to 4
    int baudIndex = 0;         // the family's baud choice, 0 or 1
    std::string receiveFolder; // empty: a bare name is received where it is given
    std::vector<std::string> sendFolders;
    bool operator==(const Machine&) const = default;
};

// The port number a port text names: "COM<N>" or "<N>", a device path
// that the port map names by a number, or a network address
// ("rfc2217://HOST:PORT", "tcp://HOST:PORT"): the number of a COM<N> link
// to that address, else one the process registers for it
// (RegisterNetworkPort). On failure, why.
std::optional<std::string> ParseMachinePort(const std::string& text, unsigned& number);

// The machine of an entry, or why the entry is no machine.
std::optional<std::string> ParseMachine(const MachineEntry& entry, Machine& machine);

// Puts the machine's line (its port, family and baud) into settings, as the
// Settings sheet does for a port chosen there.
void UseMachineLine(const Machine& machine, CommSettings& settings);

// A file name without a folder part, which the machine's folders complete.
bool IsBareFileName(const std::string& name);

// The file a send of a bare name takes: the first send folder that holds a
// file of that name. Nothing when none does (or the machine has none).
std::optional<std::string> FindInSendFolders(const Machine& machine, const std::string& name);

// Where a receive of name stores the program: in the receive folder for a
// bare name, else name itself.
std::string ReceivePath(const Machine& machine, const std::string& name);

}  // namespace quorlin
