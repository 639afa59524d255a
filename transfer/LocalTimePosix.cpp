#include "transfer/LocalTime.h"

namespace quorlin {

std::tm LocalTimeOf(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return local;
}

}  // namespace quorlin
