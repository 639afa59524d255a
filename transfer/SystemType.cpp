#include "transfer/SystemType.h"

#include <array>

namespace quorlin {

std::string GetSystemTypeName(int sysType) {
    static const std::array<const char*, kSystemTypeCount> kNames = {
        "5100R,43E,43RP", "43F,43QV,57F,57QV", "P70,P80(V1.0,V1.2)", "57QVA,J4,J5,P70",
        "L20,L30,L40,L50"};
    if (sysType < 0 || sysType >= kSystemTypeCount) return {};
    return kNames[static_cast<size_t>(sysType)];
}

std::string GetPortName(const CommSettings& settings, int index) {
    if (index < 0 || index >= static_cast<int>(settings.portList.size())) return {};
    const int32_t number = settings.portList[static_cast<size_t>(index)];
    if (number == 0) return {};
    return "COM" + std::to_string(number);
}

}  // namespace quorlin
