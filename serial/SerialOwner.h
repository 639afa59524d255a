#pragma once
#include <cstdint>

namespace quorlin {

// The value of the Windows constant; where <windows.h> came first its macro
// stands for it.
#ifndef WM_USER
constexpr unsigned WM_USER = 0x0400;
#endif
// Posted by a port's reader thread to its owner.
constexpr unsigned WM_SERIAL_RXDATA = WM_USER + 262;   // lParam: bytes waiting
constexpr unsigned WM_SERIAL_TXEMPTY = WM_USER + 264;  // a written block has left
constexpr unsigned WM_SERIAL_DEVLOST = WM_USER + 266;  // the device went away; posted once

// Receives the messages of a port. Post is called from the port's threads and
// must be safe from any thread; it queues the message and returns at once.
class ISerialOwner {
public:
    virtual ~ISerialOwner() = default;
    virtual void Post(unsigned message, uintptr_t wParam, intptr_t lParam) = 0;
};

}  // namespace quorlin
