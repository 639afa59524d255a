#include "tests/support/ScriptedServer.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace quorlin::test {

ScriptedServer::ScriptedServer(Script script, int receiveBuffer)
    : m_listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)), m_stop(::eventfd(0, EFD_CLOEXEC)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* any = reinterpret_cast<sockaddr*>(&address);
    // Set on the listener, the size holds for the connection from its start.
    if (receiveBuffer > 0 && m_listener >= 0)
        ::setsockopt(m_listener, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    if (m_listener < 0 || m_stop < 0 || ::bind(m_listener, any, sizeof address) != 0 ||
        ::listen(m_listener, 1) != 0 || ::getsockname(m_listener, any, &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this, script = std::move(script)] { Run(script); });
}

ScriptedServer::~ScriptedServer() {
    if (m_stop >= 0) {
        const uint64_t one = 1;
        (void)!::write(m_stop, &one, sizeof one);
    }
    if (m_thread.joinable()) m_thread.join();
    if (m_listener >= 0) ::close(m_listener);
    if (m_stop >= 0) ::close(m_stop);
}

void ScriptedServer::Run(Script script) {
    pollfd fds[2] = {{m_listener, POLLIN, 0}, {m_stop, POLLIN, 0}};
    if (::poll(fds, 2, -1) > 0 && !fds[1].revents) {
        const int socket = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (socket >= 0) {
            Connection connection(*this, socket);
            script(connection);
            ::close(socket);
        }
    }
    m_finished = true;
}

std::string ScriptedServer::Kept() const {
    std::lock_guard lock(m_keptMutex);
    return m_kept;
}

bool ScriptedServer::Connection::Stopping() const {
    pollfd fd{m_server.m_stop, POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0;
}

void ScriptedServer::Connection::WaitUntilStopping() const {
    pollfd fd{m_server.m_stop, POLLIN, 0};
    ::poll(&fd, 1, -1);
}

void ScriptedServer::Connection::Keep(const std::string& bytes) {
    std::lock_guard lock(m_server.m_keptMutex);
    m_server.m_kept += bytes;
}

std::string ScriptedServer::Connection::Read(std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_server.m_stop, POLLIN, 0}};
    if (::poll(fds, 2, static_cast<int>(timeout.count())) <= 0 || fds[1].revents) return {};
    char buffer[4096];
    const ssize_t got = ::recv(m_socket, buffer, sizeof buffer, 0);
    if (got <= 0) {
        m_closed = got == 0 || (errno != EAGAIN && errno != EINTR);
        return {};
    }
    return std::string(buffer, static_cast<size_t>(got));
}

size_t ScriptedServer::Connection::Write(const std::string& bytes, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    size_t written = 0;
    while (written < bytes.size() && !m_closed) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        pollfd fds[2] = {{m_socket, POLLOUT, 0}, {m_server.m_stop, POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(left)) <= 0 || fds[1].revents) break;
        const ssize_t sent = ::send(m_socket, bytes.data() + written, bytes.size() - written, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            m_closed = true;
            break;
        }
        written += static_cast<size_t>(sent);
    }
    return written;
}

namespace telnet {

std::vector<std::string> ComPortCommands(const std::string& text) {
    std::vector<std::string> commands;
    const std::string start{kIac, kSb, kComPort};
    for (size_t at = text.find(start); at != std::string::npos; at = text.find(start, at + 1)) {
        std::string command;
        size_t i = at + start.size();
        for (; i < text.size(); ++i) {
            if (text[i] == kIac && i + 1 < text.size() && text[i + 1] == kSe) break;
            if (text[i] == kIac && i + 1 < text.size() && text[i + 1] == kIac) ++i;  // a doubled 255
            command += text[i];
        }
        if (i < text.size()) commands.push_back(command);
    }
    return commands;
}

std::string ComPortAnswer(char command, const std::string& value) {
    return std::string{kIac, kSb, kComPort, static_cast<char>(command + 100)} + value + std::string{kIac, kSe};
}

}  // namespace telnet

}  // namespace quorlin::test
