#include "transfer/CommSettings.h"

namespace quorlin {

int32_t CommSettings::BaudForIndex(int32_t index) const { return quorlin::BaudForIndex(sysType, index); }

void CommSettings::TakeStored(int32_t storedCommPort, int32_t storedSysType, int32_t storedBaudRate) {
    commPort = storedCommPort;
    sysType = storedSysType;
    baudRate = storedBaudRate;
    baud = BaudForIndex(baudRate);
}

unsigned CommSettings::GetPortNumber() const {
    if (commPort < 0 || commPort >= static_cast<int32_t>(portList.size())) return 0;
    const int32_t number = portList[static_cast<size_t>(commPort)];
    return number > 0 ? static_cast<unsigned>(number) : 0;
}

}  // namespace quorlin
