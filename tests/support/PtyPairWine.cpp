// The Windows side of PtyPair, for the tests under Wine: the pty is made by
// quorlin-wine-ports, which relays the master to a local TCP connection;
// that connection is the controller's end here.
#include <winsock2.h>

#include <algorithm>
#include <cstdlib>

#include <gtest/gtest.h>

#include "tests/support/SerialTestSupport.h"
#include "tests/support/WinePortHost.h"

namespace quorlin::test {
namespace {

SOCKET AsSocket(int fd) { return static_cast<SOCKET>(fd); }

// Waits until the socket is ready to read (or write) or the deadline passes.
bool WaitReady(SOCKET socket, bool forWrite, std::chrono::steady_clock::time_point until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval timeout{static_cast<long>(left.count() / 1000), static_cast<long>(left.count() % 1000 * 1000)};
    return ::select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &timeout) == 1;
}

}  // namespace

long long ConnectToPortHost(const std::string& request, std::string& answer) {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    const char* host = std::getenv("QUORLIN_WINE_PORTS");
    if (!started || !host) {
        ADD_FAILURE() << "no port host: run under quorlin-wine-ports (QUORLIN_WINE_PORTS unset)";
        return -1;
    }
    const std::string address = host;
    const size_t colon = address.rfind(':');
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = ::htons(static_cast<u_short>(std::atoi(address.c_str() + colon + 1)));
    to.sin_addr.s_addr = ::inet_addr(address.substr(0, colon).c_str());
    SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const std::string line = request + "\n";
    if (socket == INVALID_SOCKET || ::connect(socket, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 ||
        ::send(socket, line.data(), static_cast<int>(line.size()), 0) != static_cast<int>(line.size())) {
        ADD_FAILURE() << "cannot reach the port host at " << address << ": " << ::WSAGetLastError();
        if (socket != INVALID_SOCKET) ::closesocket(socket);
        return -1;
    }
    answer.clear();
    char byte = 0;
    while (::recv(socket, &byte, 1, 0) == 1 && byte != '\n') answer += byte;
    u_long nonBlocking = 1;
    ::ioctlsocket(socket, FIONBIO, &nonBlocking);
    return static_cast<long long>(socket);
}

void CloseHostConnection(long long connection) {
    if (connection >= 0) ::closesocket(static_cast<SOCKET>(connection));
}

PtyPair::PtyPair() {
    std::string answer;
    const long long connection = ConnectToPortHost("pty", answer);
    if (connection < 0 || answer.rfind("/dev/", 0) != 0) {
        if (connection >= 0) ADD_FAILURE() << "the port host made no pty: " << answer;
        CloseHostConnection(connection);
        return;
    }
    m_master = static_cast<int>(connection);
    m_slavePath = answer;
}

PtyPair::~PtyPair() { CloseMaster(); }

void PtyPair::CloseMaster() {
    if (m_master >= 0) ::closesocket(AsSocket(m_master));
    m_master = -1;
}

bool PtyPair::Write(const std::string& bytes) {
    size_t done = 0;
    const auto until = std::chrono::steady_clock::now() + kWaitDeadline;
    while (done < bytes.size()) {
        const int n = ::send(AsSocket(m_master), bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (::WSAGetLastError() != WSAEWOULDBLOCK || !WaitReady(AsSocket(m_master), true, until)) return false;
    }
    return true;
}

long PtyPair::ReadPiece(char* buffer, size_t size) {
    const int n = ::recv(AsSocket(m_master), buffer, static_cast<int>(size), 0);
    if (n > 0) return n;
    return n < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

bool PtyPair::WaitReadable(std::chrono::steady_clock::time_point until) {
    return WaitReady(AsSocket(m_master), false, until);
}

}  // namespace quorlin::test
