#include "sim/SimPty.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif

namespace quorlin::sim {

namespace {

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// Raw 8-bit line with no echo, no line editing and no flow control of the
// kernel's own: what the PC's port sets anyway, and a sane state before the
// PC first opens it.
void MakeRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return;
    cfmakeraw(&settings);
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    tcsetattr(fd, TCSANOW, &settings);
}

}  // namespace

std::unique_ptr<SimPty> SimPty::Create(const std::string& portsDir, int com, std::string& error) {
    std::unique_ptr<SimPty> pty(new SimPty);
    char name[PATH_MAX] = {};
    if (openpty(&pty->master_, &pty->slave_, name, nullptr, nullptr) != 0) {
        error = SystemError("openpty");
        return nullptr;
    }
    pty->device_ = name;
    fcntl(pty->master_, F_SETFD, FD_CLOEXEC);
    fcntl(pty->slave_, F_SETFD, FD_CLOEXEC);
    fcntl(pty->master_, F_SETFL, fcntl(pty->master_, F_GETFL) | O_NONBLOCK);
    MakeRaw(pty->slave_);

    if (mkdir(portsDir.c_str(), 0777) != 0 && errno != EEXIST) {
        error = SystemError("cannot make the ports folder " + portsDir);
        return nullptr;
    }
    const std::string link = portsDir + "/COM" + std::to_string(com);
    struct stat target {};
    struct stat self {};
    if (lstat(link.c_str(), &self) == 0) {
        if (stat(link.c_str(), &target) == 0) {
            error = link + " already leads to a device; choose another --com";
            return nullptr;
        }
        unlink(link.c_str());  // a link left behind by a simulator that died
    }
    if (symlink(pty->device_.c_str(), link.c_str()) != 0) {
        error = SystemError("cannot make the link " + link);
        return nullptr;
    }
    pty->link_ = link;

#ifdef __linux__
    pty->watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (pty->watch_ >= 0 && inotify_add_watch(pty->watch_, name, IN_OPEN | IN_CLOSE) < 0) {
        close(pty->watch_);
        pty->watch_ = -1;
    }
#endif
    return pty;
}

SimPty::~SimPty() {
    Close();
    if (watch_ >= 0) close(watch_);
    if (!link_.empty()) unlink(link_.c_str());
}

void SimPty::ReadWatchEvents(int& opens, int& closes) {
    opens = closes = 0;
#ifdef __linux__
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = read(watch_, buffer, sizeof buffer);
        if (n <= 0) return;
        for (char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            if (event->mask & IN_OPEN) ++opens;
            if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) ++closes;
            p += sizeof(inotify_event) + event->len;
        }
    }
#endif
}

void SimPty::ReleaseExclusive() {
    if (slave_ >= 0) ioctl(slave_, TIOCNXCL);
}

unsigned SimPty::PcBaud() const {
    termios settings{};
    if (slave_ < 0 || tcgetattr(slave_, &settings) != 0) return 0;
    switch (cfgetospeed(&settings)) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
    }
}

std::string SimPty::PcHandshake() const {
    termios settings{};
    if (slave_ < 0 || tcgetattr(slave_, &settings) != 0) return "";
    if (settings.c_cflag & CRTSCTS) return "rtscts";
    if (settings.c_iflag & IXOFF) return "xonxoff";
    return "none";
}

void SimPty::Close() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
    slave_ = master_ = -1;
}

bool SimPty::HangUp() {
#ifdef TIOCVHANGUP
    if (slave_ >= 0 && ioctl(slave_, TIOCVHANGUP) == 0) {
        // Our own slave descriptor is hung up with the rest; the master stays
        // open so the device does not go away.
        close(slave_);
        slave_ = -1;
        return true;
    }
#endif
    return false;
}

}  // namespace quorlin::sim
