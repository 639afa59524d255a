// serial_bench [RUNS] [ROUND_TRIPS] [MEGABYTES]
//
// Measures CSerialPort against bare system calls on the same kind of pty,
// with a controller thread on the master side:
//  (a) 1-byte round trips, without and with XON/XOFF (handshake 5): Write,
//      the controller echoes, RXDATA arrives in
//      the owner's queue, Read; against write/poll/read on the slave.
//  (b) MEGABYTES MB in 511-byte blocks, each written when the previous
//      block's TXEMPTY is taken from the owner's queue; against a plain loop
//      of 511-byte write() calls. The controller drains the master.
//  (c) XON/XOFF: bytes arriving at the controller after it sent DC3 while
//      reading continuously (the port's stop latency, pty buffers included).
// Prints each run and the medians.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/PortMap.h"
#include "serial/SerialPort.h"

namespace {

using Clock = std::chrono::steady_clock;
using quorlin::CSerialPort;

constexpr unsigned kPort = 1;
constexpr uint32_t kBlock = 511;

struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;
    Pty() {
        char name[128];
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            std::perror("openpty");
            std::exit(1);
        }
        path = name;
        termios tio;
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    ~Pty() {
        ::close(master);
        ::close(slave);
    }
};

// The owner's queue, as a user-interface thread has one.
class QueueOwner : public quorlin::ISerialOwner {
public:
    void Post(unsigned message, uintptr_t, intptr_t lParam) override {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back({message, lParam});
        }
        m_ready.notify_one();
    }
    // Takes messages until one of kind message; returns its parameter.
    intptr_t TakeUntil(unsigned message) {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_ready.wait(lock, [this] { return !m_queue.empty(); });
            const Entry entry = m_queue.front();
            m_queue.pop_front();
            if (entry.message == message) return entry.lParam;
        }
    }

private:
    struct Entry {
        unsigned message;
        intptr_t lParam;
    };
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Entry> m_queue;
};

// Controller that echoes every byte until stop is set.
void Echo(int master, const std::atomic<bool>& stop) {
    char buffer[256];
    while (!stop) {
        pollfd fd{master, POLLIN, 0};
        if (::poll(&fd, 1, 100) <= 0) continue;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0 && ::write(master, buffer, static_cast<size_t>(n)) != n) return;
    }
}

// Controller that reads until total bytes have come.
void Drain(int master, size_t total) {
    std::vector<char> buffer(65536);
    size_t got = 0;
    while (got < total) {
        const ssize_t n = ::read(master, buffer.data(), buffer.size());
        if (n <= 0) return;
        got += static_cast<size_t>(n);
    }
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void OpenPort(CSerialPort& port, QueueOwner& owner, uint8_t handshake) {
    if (!port.Open(&owner, kPort, 0)) {
        std::fprintf(stderr, "cannot open the port: %s\n", port.LastError().c_str());
        std::exit(1);
    }
    port.Init(115200, 'n', 8, 1, handshake, quorlin::EV_RXCHAR | quorlin::EV_TXEMPTY);
    port.StartMonitoring();
}

double RoundTripsPort(Pty& pty, const std::string& folder, unsigned trips, uint8_t handshake) {
    std::filesystem::remove(folder + "/COM1");
    std::filesystem::create_symlink(pty.path, folder + "/COM1");
    QueueOwner owner;
    CSerialPort port(5000);
    OpenPort(port, owner, handshake);
    std::atomic<bool> stop{false};
    std::thread controller(Echo, pty.master, std::cref(stop));
    char byte = 'x';
    const auto start = Clock::now();
    for (unsigned i = 0; i < trips; ++i) {
        port.Write(&byte, 1);
        uint32_t got = 0;
        while (got == 0) {
            owner.TakeUntil(quorlin::WM_SERIAL_RXDATA);
            got = port.Read(&byte, 1);
        }
    }
    const double seconds = Seconds(Clock::now() - start);
    stop = true;
    controller.join();
    port.Close();
    return seconds / trips;
}

double RoundTripsBare(Pty& pty, unsigned trips) {
    const int fd = ::open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    std::atomic<bool> stop{false};
    std::thread controller(Echo, pty.master, std::cref(stop));
    char byte = 'x';
    const auto start = Clock::now();
    for (unsigned i = 0; i < trips; ++i) {
        if (::write(fd, &byte, 1) != 1) std::exit(1);
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, -1);
            if (::read(fd, &byte, 1) == 1) break;
        }
    }
    const double seconds = Seconds(Clock::now() - start);
    stop = true;
    controller.join();
    ::close(fd);
    return seconds / trips;
}

double BlocksPort(Pty& pty, const std::string& folder, size_t total) {
    std::filesystem::remove(folder + "/COM1");
    std::filesystem::create_symlink(pty.path, folder + "/COM1");
    QueueOwner owner;
    CSerialPort port(5000);
    OpenPort(port, owner, quorlin::HandshakeNone);
    std::vector<char> data(kBlock, 'N');
    const auto start = Clock::now();
    std::thread controller(Drain, pty.master, total);
    for (size_t sent = 0; sent < total; sent += kBlock) {
        port.Write(data.data(), static_cast<uint32_t>(std::min<size_t>(kBlock, total - sent)));
        owner.TakeUntil(quorlin::WM_SERIAL_TXEMPTY);
    }
    controller.join();
    const double seconds = Seconds(Clock::now() - start);
    port.Close();
    return seconds;
}

double BlocksBare(Pty& pty, size_t total) {
    const int fd = ::open(pty.path.c_str(), O_RDWR | O_NOCTTY);
    std::vector<char> data(kBlock, 'N');
    const auto start = Clock::now();
    std::thread controller(Drain, pty.master, total);
    for (size_t sent = 0; sent < total;) {
        const ssize_t n = ::write(fd, data.data(), std::min<size_t>(kBlock, total - sent));
        if (n <= 0) std::exit(1);
        sent += static_cast<size_t>(n);
    }
    controller.join();
    const double seconds = Seconds(Clock::now() - start);
    ::close(fd);
    return seconds;
}

// Bytes the controller receives after sending DC3 while it reads without
// pause, up to the moment the port has acted on the DC3.
size_t XoffOverrun(Pty& pty, const std::string& folder) {
    std::filesystem::remove(folder + "/COM1");
    std::filesystem::create_symlink(pty.path, folder + "/COM1");
    ::fcntl(pty.master, F_SETFL, ::fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    QueueOwner owner;
    constexpr uint32_t kSize = 1 << 20;
    CSerialPort port(kSize);
    OpenPort(port, owner, quorlin::HandshakeXonXoff);
    std::vector<char> data(kSize, 'N');
    port.Write(data.data(), kSize);
    std::vector<char> buffer(65536);
    size_t got = 0;
    while (got < 100000) {
        const ssize_t n = ::read(pty.master, buffer.data(), buffer.size());
        if (n > 0) got += static_cast<size_t>(n);
    }
    const char stopAndMark[2] = {0x13, 'M'};
    if (::write(pty.master, stopAndMark, 2) != 2) std::exit(1);
    const size_t atXoff = got;
    char marker = 0;
    while (marker != 'M') {  // the port has acted on DC3 once it has read M
        owner.TakeUntil(quorlin::WM_SERIAL_RXDATA);
        port.Read(&marker, 1);
    }
    for (ssize_t n; (n = ::read(pty.master, buffer.data(), buffer.size())) > 0;)
        got += static_cast<size_t>(n);
    const size_t overrun = got - atXoff;
    const char resume = 0x11;
    if (::write(pty.master, &resume, 1) != 1) std::exit(1);
    while (got < kSize) {
        const ssize_t n = ::read(pty.master, buffer.data(), buffer.size());
        if (n > 0) got += static_cast<size_t>(n);
    }
    port.Close();
    ::fcntl(pty.master, F_SETFL, ::fcntl(pty.master, F_GETFL) & ~O_NONBLOCK);
    return overrun;
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned runs = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 7;
    const unsigned trips = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 20000;
    const size_t megabytes = argc > 3 ? static_cast<size_t>(std::atoi(argv[3])) : 10;
    const size_t total = megabytes * 1000 * 1000;

    std::string folder = (std::filesystem::temp_directory_path() / "quorlin-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data())) return 1;
    ::setenv(quorlin::kPortsFolderVariable, folder.c_str(), 1);

    std::vector<double> tripPort, tripXon, tripBare, blockPort, blockBare, overrun;
    for (unsigned run = 0; run < runs; ++run) {
        Pty a, b, c, d, e, f;
        tripBare.push_back(RoundTripsBare(a, trips));
        tripPort.push_back(RoundTripsPort(b, folder, trips, quorlin::HandshakeNone));
        tripXon.push_back(RoundTripsPort(f, folder, trips, quorlin::HandshakeXonXoff));
        blockBare.push_back(BlocksBare(c, total));
        blockPort.push_back(BlocksPort(d, folder, total));
        overrun.push_back(static_cast<double>(XoffOverrun(e, folder)));
        std::printf("run %u: round trip bare %.1f us, port %.1f us, port with XON/XOFF %.1f us;"
                    " %zu MB bare %.3f s, port %.3f s; overrun %.0f bytes\n",
                    run + 1, tripBare.back() * 1e6, tripPort.back() * 1e6, tripXon.back() * 1e6, megabytes,
                    blockBare.back(), blockPort.back(), overrun.back());
        std::fflush(stdout);
    }
    std::filesystem::remove_all(folder);
    const double mTripBare = Median(tripBare), mTripPort = Median(tripPort);
    const double mBlockBare = Median(blockBare), mBlockPort = Median(blockPort);
    std::printf("\nmedians over %u runs\n", runs);
    std::printf("(a) 1-byte round trip: bare %.1f us, port %.1f us, ratio %.2f (target <= 1.5)\n",
                mTripBare * 1e6, mTripPort * 1e6, mTripPort / mTripBare);
    const double mTripXon = Median(tripXon);
    std::printf("    the same with XON/XOFF: port %.1f us, ratio %.2f (target <= 1.5)\n",
                mTripXon * 1e6, mTripXon / mTripBare);
    std::printf("(b) %zu MB in %u-byte blocks: bare %.3f s, port %.3f s, ratio %.2f (target <= 1.25)\n",
                megabytes, kBlock, mBlockBare, mBlockPort, mBlockPort / mBlockBare);
    std::printf("(c) bytes after DC3 (XON/XOFF, controller reading): median %.0f, max %.0f\n",
                Median(overrun), *std::max_element(overrun.begin(), overrun.end()));
    return 0;
}
