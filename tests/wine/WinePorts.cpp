// quorlin-wine-ports: runs a Windows test program under Wine with serial
// ports that are pseudo-terminals. It stands in for the serial adapters and
// the cable to a controller: the Windows test asks for a port, gets a pty
// whose slave Wine shows as a COM port, and plays the controller's end
// through a local TCP connection that this program relays to the pty master.
//
//   quorlin-wine-ports --prefix WINEPREFIX [--preload LIB] -- COMMAND [ARGS...]
//
// COMMAND (wine and the test program) runs with QUORLIN_WINE_PORTS set to
// the address to connect to, and LD_PRELOAD extended by LIB (the modem-line
// answers for ptys, PtyModemLines.cpp). The exit status is COMMAND's.
//
// A connection starts with one request line:
//   "pty"                a new pty pair; the answer is the slave's path, then
//                        the connection carries the controller's bytes both
//                        ways. Closing it closes the master: the port's device
//                        vanishes as an unplugged adapter does.
//   "link N PATH"        makes COM<N> name PATH; the answer is "ok".
// Wine finds COM<N> through the symbolic link $WINEPREFIX/dosdevices/com<N>,
// looked up each time the port is opened: a link made while wineserver runs
// works at once (measured: the next CreateFile finds it), which is why it is
// used here rather than HKLM\Software\Wine\Ports, whose values only become
// such links when Wine makes the prefix's devices again. The links this
// program made are removed when COMMAND ends.
//
// What ptys under Wine cannot show, and the tests therefore leave out: a
// second opener is not refused (Wine does not enforce a COM port's share
// mode 0; the Windows serial driver does), 7 data bits and parity read back
// as 8 bits, and the modem lines are PtyModemLines' stand-ins.
//
// Only whole bytes are relayed, and a side is read only when what was read
// from it before has been passed on, so a controller that stops reading
// fills the pty as a stopped line does.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// Small socket buffers: bytes the test does not read must stay in the pty,
// not pile up in the kernel's socket queues.
constexpr int kSocketBuffer = 4096;
constexpr size_t kRelayPiece = 4096;
constexpr size_t kLongestRequest = 1024;

struct Relay {
    int socket = -1;
    int master = -1;       // -1 until the request made a pty
    int slave = -1;        // kept open so the slave never loses its last opener
    std::string request;   // the request line, until it is complete
    std::string toSocket;  // read from the master, not yet sent
    std::string toMaster;  // read from the socket, not yet written
    bool done = false;
};

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Writes what it can of pending to fd; false when fd failed.
bool Flush(int fd, std::string& pending) {
    while (!pending.empty()) {
        const ssize_t n = write(fd, pending.data(), pending.size());
        if (n > 0) {
            pending.erase(0, static_cast<size_t>(n));
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EINTR);
    }
    return true;
}

// Reads what fd has into out; false at its end or on failure.
bool Fill(int fd, std::string& out) {
    char piece[kRelayPiece];
    const ssize_t n = read(fd, piece, sizeof piece);
    if (n > 0) {
        out.append(piece, static_cast<size_t>(n));
        return true;
    }
    return n < 0 && (errno == EAGAIN || errno == EINTR);
}

class PortHost {
public:
    explicit PortHost(std::string prefix) : m_prefix(std::move(prefix)) {}
    ~PortHost() {
        for (unsigned port : m_links) unlink(LinkPath(port).c_str());
    }

    bool Listen() {
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(m_listener, 16) != 0 ||
            getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return false;
        SetNonBlocking(m_listener);
        m_address = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
        return true;
    }
    const std::string& Address() const { return m_address; }

    // Serves until the child ends; returns its exit status.
    int Serve(pid_t child) {
        for (;;) {
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            std::vector<pollfd> fds{{m_listener, POLLIN, 0}};
            for (const auto& relay : m_relays) {
                short socketEvents = relay->toMaster.empty() ? POLLIN : 0;
                if (!relay->toSocket.empty()) socketEvents |= POLLOUT;
                fds.push_back({relay->socket, socketEvents, 0});
                short masterEvents = relay->toSocket.empty() ? POLLIN : 0;
                if (!relay->toMaster.empty()) masterEvents |= POLLOUT;
                fds.push_back({relay->master, relay->master >= 0 ? masterEvents : short(0), 0});
            }
            // The child's end is looked at after each pass; SIGCHLD ends the
            // wait early, the time-out bounds a missed one.
            constexpr int kChildLookMs = 200;
            poll(fds.data(), fds.size(), kChildLookMs);
            if (fds[0].revents & POLLIN) Accept();
            for (size_t i = 0; i < m_relays.size() && 1 + 2 * i < fds.size(); ++i)
                Pass(*m_relays[i], fds[1 + 2 * i].revents, fds[2 + 2 * i].revents);
            std::erase_if(m_relays, [](const auto& relay) { return relay->done; });
        }
    }

private:
    std::string LinkPath(unsigned port) const {
        return m_prefix + "/dosdevices/com" + std::to_string(port);
    }

    void Accept() {
        const int socket = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (socket < 0) return;
        const int size = kSocketBuffer, on = 1;
        setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto relay = std::make_unique<Relay>();
        relay->socket = socket;
        m_relays.push_back(std::move(relay));
    }

    void Close(Relay& relay) {
        for (int fd : {relay.socket, relay.master, relay.slave})
            if (fd >= 0) close(fd);
        relay.done = true;
    }

    void Pass(Relay& relay, short socketEvents, short masterEvents) {
        if (relay.master < 0) {
            if (socketEvents & (POLLIN | POLLHUP | POLLERR)) ReadRequest(relay);
            return;
        }
        // The test closed its end: the device vanishes.
        if ((socketEvents & (POLLIN | POLLHUP | POLLERR)) && !Fill(relay.socket, relay.toMaster))
            return Close(relay);
        if ((socketEvents & (POLLHUP | POLLERR)) && !(socketEvents & POLLIN)) return Close(relay);
        if (!Flush(relay.master, relay.toMaster)) return Close(relay);
        // A master whose slave is closed reads EIO until the port opens it
        // again; that is no end.
        if ((masterEvents & POLLIN) && relay.toSocket.empty()) Fill(relay.master, relay.toSocket);
        if (!Flush(relay.socket, relay.toSocket)) return Close(relay);
    }

    void ReadRequest(Relay& relay) {
        std::string piece;
        if (!Fill(relay.socket, piece)) return Close(relay);
        relay.request += piece;
        const size_t end = relay.request.find('\n');
        if (end == std::string::npos) {
            if (relay.request.size() > kLongestRequest) Close(relay);
            return;
        }
        const std::string line = relay.request.substr(0, end);
        std::string answer;
        if (line == "pty") {
            char name[128] = {};
            if (openpty(&relay.master, &relay.slave, name, nullptr, nullptr) != 0) return Close(relay);
            termios tio;
            tcgetattr(relay.slave, &tio);
            cfmakeraw(&tio);  // no echo of the controller's bytes back to it
            tcsetattr(relay.slave, TCSANOW, &tio);
            SetNonBlocking(relay.master);
            fcntl(relay.master, F_SETFD, FD_CLOEXEC);
            fcntl(relay.slave, F_SETFD, FD_CLOEXEC);
            answer = std::string(name) + "\n";
            relay.toMaster = relay.request.substr(end + 1);
        } else if (line.rfind("link ", 0) == 0) {
            unsigned port = 0;
            char path[kLongestRequest] = {};
            if (sscanf(line.c_str(), "link %u %1023s", &port, path) != 2) return Close(relay);
            const std::string link = LinkPath(port);
            unlink(link.c_str());
            answer = symlink(path, link.c_str()) == 0 ? "ok\n" : std::string("failed: ") + strerror(errno) + "\n";
            m_links.insert(port);
        } else {
            return Close(relay);
        }
        // The answers are short: they fit in the socket's buffer at once.
        if (write(relay.socket, answer.data(), answer.size()) != static_cast<ssize_t>(answer.size()) ||
            relay.master < 0)
            Close(relay);
    }

    std::string m_prefix;
    std::string m_address;
    int m_listener = -1;
    std::vector<std::unique_ptr<Relay>> m_relays;
    std::set<unsigned> m_links;
};

int Usage() {
    fprintf(stderr, "usage: quorlin-wine-ports --prefix WINEPREFIX [--preload LIB] -- COMMAND [ARGS...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string prefix, preload;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--") break;
        if (i + 1 >= argc) return Usage();
        if (option == "--prefix") prefix = argv[++i];
        else if (option == "--preload") preload = argv[++i];
        else return Usage();
    }
    if (prefix.empty() || i + 1 >= argc) return Usage();
    signal(SIGPIPE, SIG_IGN);
    PortHost host(prefix);
    if (!host.Listen()) {
        perror("quorlin-wine-ports: listen");
        return 2;
    }
    const pid_t child = fork();
    if (child < 0) return 2;
    if (child == 0) {
        setenv("QUORLIN_WINE_PORTS", host.Address().c_str(), 1);
        if (!preload.empty()) {
            const char* earlier = getenv("LD_PRELOAD");
            setenv("LD_PRELOAD", earlier && *earlier ? (preload + ":" + earlier).c_str() : preload.c_str(), 1);
        }
        execvp(argv[i + 1], argv + i + 1);
        perror("quorlin-wine-ports: exec");
        _exit(127);
    }
    return host.Serve(child);
}
