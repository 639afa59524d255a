#pragma once
// The wait of the POSIX back ends (SerialDevicePosix.cpp,
// SerialDeviceNetwork.cpp): poll() over the stop and wake events and, if
// asked, the device's descriptor.

#include <poll.h>

#include <chrono>
#include <functional>

#include "serial/SerialDevice.h"

namespace quorlin {

// Polls fds: the stop event, the wake event and, if count is 3, the device
// (or an event standing for it, ready on POLLIN), and tells what ended the
// wait. A poll that cannot wait at all reports the device gone, so that the
// caller stops using it instead of spinning.
WaitResult PollWait(pollfd* fds, nfds_t count, std::chrono::milliseconds timeout);

// The three descriptors of a wait on stop, wake and device for what.
inline void FillWaitDescriptors(pollfd (&fds)[3], const WakeEvent& stop, const WakeEvent& wake, int device,
                                DeviceWait what) {
    fds[0] = {static_cast<int>(stop.Handle()), POLLIN, 0};
    fds[1] = {static_cast<int>(wake.Handle()), POLLIN, 0};
    fds[2] = {device, 0, 0};
    if (what == DeviceWait::Readable) fds[2].events = POLLIN;
    if (what == DeviceWait::Writable) fds[2].events = POLLOUT;
    if (what == DeviceWait::ReadableOrWritable) fds[2].events = POLLIN | POLLOUT;
}

// Looks at an output queue until it is empty or deadline passes: the queue
// has no event for running empty, so it is looked at again after a few
// milliseconds each time. look sets empty, or returns false (errno set) when
// it cannot look; false with errno ETIMEDOUT at the deadline.
bool WatchQueueUntil(std::chrono::steady_clock::time_point deadline, const std::function<bool(bool& empty)>& look);

}  // namespace quorlin
