#include <sys/eventfd.h>
#include <unistd.h>

#include "transfer/PumpWake.h"

namespace quorlin {

PumpWake::PumpWake() : m_handle(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

PumpWake::~PumpWake() {
    if (m_handle >= 0) ::close(m_handle);
}

bool PumpWake::IsValid() const { return m_handle >= 0; }

void PumpWake::Signal() {
    if (m_handle < 0) return;
    const uint64_t one = 1;
    // Cannot fail short of the counter's overflow, which leaves it readable.
    [[maybe_unused]] const ssize_t written = ::write(m_handle, &one, sizeof one);
}

void PumpWake::Clear() {
    if (m_handle < 0) return;
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t drained = ::read(m_handle, &count, sizeof count);
}

}  // namespace quorlin
