#include <windows.h>

#include "transfer/PumpWake.h"

namespace quorlin {

// Auto-reset: the wait that reports it takes it.
PumpWake::PumpWake() : m_handle(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

PumpWake::~PumpWake() {
    if (m_handle) CloseHandle(m_handle);
}

bool PumpWake::IsValid() const { return m_handle != nullptr; }

void PumpWake::Signal() {
    if (m_handle) SetEvent(m_handle);
}

void PumpWake::Clear() {
    if (m_handle) ResetEvent(m_handle);
}

}  // namespace quorlin
