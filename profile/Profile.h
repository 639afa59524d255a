#pragma once
// The communication settings in the user's profile: QSettings "Morvale CNC" /
// "Quorlin", group "Prop", three integers, and beside them, in a group of its
// own, the port number that the "CommPort" place was chosen as. Read once
// when the main window is made, written only when the settings sheet is
// confirmed.

#include <QString>
#include <cstdint>

class QSettings;

namespace quorlin {

inline constexpr const char* kProfileOrganization = "Morvale CNC";
inline constexpr const char* kProfileApplication = "Quorlin";

struct StoredSettings {
    int32_t commPort = 0;
    int32_t sysType = 0;
    int32_t baudRate = 0;

    bool operator==(const StoredSettings&) const = default;
};

// Each key missing, or holding something that is not a 32-bit integer, reads
// as 0; so does every key when the store is not a regular file (a named
// pipe there would block the reader). Values out of range are returned as stored: the readers give them
// their meaning (no such port, no such family, 9600 baud).
StoredSettings ReadProfile();

// Writes "CommPort", "SysType" and "BaudRate" in that order, then the port
// number "CommPort" was chosen as (group "ChosenPort", key "Number"; 0 for
// none), and flushes them to the store; false when the store could not be
// written or is not a regular file.
bool WriteProfile(const StoredSettings& settings, unsigned chosenPortNumber = 0);

// The port number the stored "CommPort" was chosen as; 0 when none was
// recorded (a profile from before it was kept, or no port chosen) or the
// value is not a port number.
unsigned ReadChosenPortNumber();

// The profile itself, for the groups of other parts of the program.
QSettings OpenProfile();

// Where the profile lives (the INI file on this platform): it also names
// the running copy for the single-instance rule.
QString ProfileLocation();

}  // namespace quorlin
