#pragma once
// The controller families and the downloads they take: one table that the
// engine, the main window's rules and quorlin-cli all read. The profile and
// the command line name a family by its row number ("SysType", --family) and
// a download by its number (--kind); FindFamily and DownloadKindFromNumber are
// where those numbers get their meaning, and nothing else tests them.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace quorlin {

// The line protocol of a transfer. The numbers are the ones the transfer
// state has always carried (a host may log or show them).
enum class Protocol : int { None = 0, Echo = 1, Block = 2, Download = 3, Xon = 4 };

// What a download sends. The numbers are the command line's --kind.
enum class DownloadKind : int {
    Interface = 1,       // interface picture of the older families: a plain stream at 9600,o,8,1
    SoftwareP70 = 2,     // update software of the P70 family: a plain stream at 19200,n,8,1
    SystemSoftware = 3,  // an update file, in answered blocks
    InterfaceQva = 4,    // a 256-colour bitmap of the newer families, in answered blocks
    ChineseFont = 5,     // an update file, in answered blocks
};

inline constexpr std::array kDownloadKinds = {DownloadKind::Interface, DownloadKind::SoftwareP70,
                                              DownloadKind::SystemSoftware, DownloadKind::InterfaceQva,
                                              DownloadKind::ChineseFont};

// The kinds sent as 32 KiB blocks framed by packets and answered by the
// controller; the others go out as a plain byte stream.
constexpr bool GoesInBlocks(DownloadKind kind) {
    return kind == DownloadKind::SystemSoftware || kind == DownloadKind::InterfaceQva ||
           kind == DownloadKind::ChineseFont;
}

// The kinds that are update files (header, checksum) rather than bitmaps or raw images.
constexpr bool IsUpdateFile(DownloadKind kind) {
    return kind == DownloadKind::SystemSoftware || kind == DownloadKind::ChineseFont;
}

std::optional<DownloadKind> DownloadKindFromNumber(long number);

struct ControllerFamily {
    const char* name;  // the settings sheet's row and the progress window's label
    Protocol protocol;  // of programs sent and received
    // The bits per second of each baud choice the settings sheet offers;
    // empty: no choice, the line runs at 9600.
    std::span<const int32_t> baudChoices;
    // Whether blocks of a download go at the chosen baud; else at 9600.
    bool blocksAtChosenBaud;
    std::span<const DownloadKind> downloads;  // offered, in the Operation menu's order
};

// Every family, by its row number.
std::span<const ControllerFamily> ControllerFamilies();

// The family of a stored row number; nullptr for a number outside the table
// (a profile edited by hand, or written by a later version).
const ControllerFamily* FindFamily(int32_t sysType);

// The protocol of programs for a row number. A number outside the table
// sends as Block, the protocol of most families.
Protocol ProgramProtocol(int32_t sysType);

// The bits per second of baud choice index under a family: 9600 for a
// choice the family does not offer.
int32_t BaudForIndex(int32_t sysType, int32_t index);

// The baud of a download's blocks under a family and baud choice.
int32_t BlockBaud(int32_t sysType, int32_t baudIndex);

}  // namespace quorlin
