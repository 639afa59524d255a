#pragma once
// A TCP listener on 127.0.0.1 that lets nobody in: its one place in the
// queue is taken at once, so that a connect to it waits until it gives up,
// as one to a device server that is switched off does.

namespace quorlin::test {

class SilentServer {
public:
    SilentServer();
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    bool IsValid() const { return m_port != 0; }
    unsigned Port() const { return m_port; }

private:
    int m_listener = -1;
    int m_queued = -1;  // the connection that holds the one place
    unsigned m_port = 0;
};

}  // namespace quorlin::test
