#pragma once
// The communication settings the main window holds and every transfer reads:
// which detected port, which controller family, which baud choice.

#include <array>
#include <cstddef>
#include <cstdint>

#include "transfer/ControllerFamily.h"

namespace quorlin {

struct CommSettings {
    int32_t commPort = 0;  // index into portList; -1 when none was chosen
    int32_t sysType = 0;   // a SystemType: the row of ControllerFamilies()
    int32_t baudRate = 0;  // index of the family's baud choice; -1 for none
    int32_t baud = 9600;   // bits per second, derived by BaudForIndex
    std::array<int32_t, 5> portList{};  // detected port numbers, 0 for an empty place
    // A transfer is running: a copy of the transfer engine's own state, kept
    // by the application's transfer session as the engine reports it; read
    // the state from there (TransferSession::IsBusy).
    int32_t busy = 0;

    // Takes the three values the profile stores (each as its reader found
    // it) and derives baud from them.
    void TakeStored(int32_t storedCommPort, int32_t storedSysType, int32_t storedBaudRate);
    // The bits per second of a baud index under the current sysType.
    int32_t BaudForIndex(int32_t index) const;
    // The entry of portList at commPort; 0 when that place is empty or
    // commPort names no place.
    unsigned GetPortNumber() const;
};

}  // namespace quorlin
