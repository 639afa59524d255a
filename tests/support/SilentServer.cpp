#include "tests/support/SilentServer.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorlin::test {

SilentServer::SilentServer()
    : m_listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)),
      m_queued(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* any = reinterpret_cast<sockaddr*>(&address);
    if (m_listener < 0 || m_queued < 0 || ::bind(m_listener, any, sizeof address) != 0 ||
        ::listen(m_listener, 0) != 0 || ::getsockname(m_listener, any, &length) != 0 ||
        ::connect(m_queued, any, sizeof address) != 0)
        return;
    m_port = ntohs(address.sin_port);
}

SilentServer::~SilentServer() {
    if (m_queued >= 0) ::close(m_queued);
    if (m_listener >= 0) ::close(m_listener);
}

}  // namespace quorlin::test
