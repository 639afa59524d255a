// Test-only preload library for the Windows tests under Wine. It stands in
// for the modem-control part of a serial driver on pseudo-terminals, which
// have none.
//
// Wine's comm calls ask the tty for its modem lines (TIOCMGET) and interrupt
// counters (TIOCGICOUNT) when a WaitCommEvent starts and while it runs, and
// fail the wait when the tty refuses; a pty refuses both. Loaded into the
// Wine process (LD_PRELOAD), this library answers those requests for pty
// slaves only, as a serial port with a modem that is ready would: CTS, DSR
// and carrier on, RTS and DTR as last set, no line errors. Once the other
// side of the pty is gone (its master closed) it fails them with EIO, as the
// driver of an unplugged adapter fails every request. Every other descriptor
// and request goes to the C library unchanged.
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <poll.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <atomic>
#include <cstring>

namespace {

using IoctlFunction = int (*)(int, unsigned long, ...);

// Output lines as last set, per descriptor; RTS and DTR start raised.
constexpr int kTrackedDescriptors = 4096;
constexpr int kInitialOutputs = TIOCM_RTS | TIOCM_DTR;
std::atomic<int> g_outputs[kTrackedDescriptors];
std::atomic<bool> g_outputsKnown[kTrackedDescriptors];

// Unix 98 pty slaves have majors 136 to 143.
bool IsPtySlave(int fd) {
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) return false;
    const unsigned major = ::major(info.st_rdev);
    return major >= 136 && major <= 143;
}

bool IsHungUp(int fd) {
    pollfd look{fd, 0, 0};
    return poll(&look, 1, 0) == 1 && (look.revents & (POLLHUP | POLLERR)) != 0;
}

int Outputs(int fd) {
    if (fd < 0 || fd >= kTrackedDescriptors) return kInitialOutputs;
    if (!g_outputsKnown[fd].load()) return kInitialOutputs;
    return g_outputs[fd].load();
}

void SetOutputs(int fd, int lines) {
    if (fd < 0 || fd >= kTrackedDescriptors) return;
    g_outputs[fd].store(lines & (TIOCM_RTS | TIOCM_DTR));
    g_outputsKnown[fd].store(true);
}

IoctlFunction RealIoctl() {
    static IoctlFunction real = reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, "ioctl"));
    return real;
}

// The answer for a modem request on a pty slave; false for any other request.
bool AnswerModemRequest(int fd, unsigned long request, void* argument, int& result) {
    switch (request) {
        case TIOCMGET: case TIOCMSET: case TIOCMBIS: case TIOCMBIC: case TIOCGICOUNT:
            break;
        default:
            return false;
    }
    if (!IsPtySlave(fd)) return false;
    if (IsHungUp(fd)) {
        errno = EIO;
        result = -1;
        return true;
    }
    result = 0;
    int* lines = static_cast<int*>(argument);
    switch (request) {
        case TIOCMGET: *lines = Outputs(fd) | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR; break;
        case TIOCMSET: SetOutputs(fd, *lines); break;
        case TIOCMBIS: SetOutputs(fd, Outputs(fd) | *lines); break;
        case TIOCMBIC: SetOutputs(fd, Outputs(fd) & ~*lines); break;
        case TIOCGICOUNT: std::memset(argument, 0, sizeof(serial_icounter_struct)); break;
    }
    return true;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    int result = 0;
    if (AnswerModemRequest(fd, request, argument, result)) return result;
    return RealIoctl()(fd, request, argument);
}
