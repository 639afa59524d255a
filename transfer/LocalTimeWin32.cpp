#include "transfer/LocalTime.h"

namespace quorlin {

std::tm LocalTimeOf(std::time_t when) {
    std::tm local{};
    localtime_s(&local, &when);
    return local;
}

}  // namespace quorlin
