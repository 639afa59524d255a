#include "transfer/PortChoice.h"

#include <algorithm>
#include <vector>

namespace quorlin {

PortList OfferedPorts(const PortList& found, std::initializer_list<unsigned> keep) {
    std::vector<int32_t> kept;
    for (unsigned number : keep)
        if (number != 0) kept.push_back(static_cast<int32_t>(number));
    std::vector<int32_t> ports = kept;
    for (int32_t number : found)
        if (number > 0) ports.push_back(number);
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    const auto isFound = [&kept](int32_t number) { return std::find(kept.begin(), kept.end(), number) == kept.end(); };
    PortList list{};
    while (ports.size() > list.size()) {
        const auto highestFound = std::find_if(ports.rbegin(), ports.rend(), isFound);
        if (highestFound == ports.rend()) break;  // never with the two kept ports there are
        ports.erase(std::next(highestFound).base());
    }
    std::copy_n(ports.begin(), std::min(ports.size(), list.size()), list.begin());
    return list;
}

int32_t PlaceOfPort(const PortList& list, unsigned number) {
    if (number == 0) return -1;
    const auto it = std::find(list.begin(), list.end(), static_cast<int32_t>(number));
    return it == list.end() ? -1 : static_cast<int32_t>(it - list.begin());
}

int32_t SettledCommPort(const PortList& list, int32_t storedPlace, unsigned chosenNumber) {
    if (chosenNumber == 0) return storedPlace;
    return PlaceOfPort(list, chosenNumber);
}

}  // namespace quorlin
