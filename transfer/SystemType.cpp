#include "transfer/SystemType.h"

#include "transfer/ControllerFamily.h"

namespace quorlin {

std::string GetSystemTypeName(int sysType) {
    const ControllerFamily* family = FindFamily(sysType);
    return family ? family->name : std::string();
}

std::string GetPortName(const CommSettings& settings, int index) {
    if (index < 0 || index >= static_cast<int>(settings.portList.size())) return {};
    const int32_t number = settings.portList[static_cast<size_t>(index)];
    if (number == 0) return {};
    return "COM" + std::to_string(number);
}

}  // namespace quorlin
