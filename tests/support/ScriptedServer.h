#pragma once
// A device server on 127.0.0.1 that misbehaves as a test tells it: it lets
// one client in and runs the test's script on the connection, on a thread
// of its own. Destroying it ends the script (every wait of the helpers below
// is cut short) and closes the connection.

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorlin::test {

class ScriptedServer {
public:
    class Connection;
    using Script = std::function<void(Connection&)>;

    // receiveBuffer, where not 0, is the connection's receive buffer: a
    // small one stands for a device server with little memory.
    explicit ScriptedServer(Script script, int receiveBuffer = 0);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    bool IsValid() const { return m_port != 0; }
    unsigned Port() const { return m_port; }
    // What the script kept of what it received (Connection::Keep).
    std::string Kept() const;
    // Whether the script has ended (by itself, or the client went).
    bool Finished() const { return m_finished.load(); }

    class Connection {
    public:
        // Reads what comes within timeout (less when the server is being
        // destroyed); "" on time-out, and when the client closed, Closed().
        std::string Read(std::chrono::milliseconds timeout);
        // Writes bytes as far as the client takes them within timeout; the
        // number written.
        size_t Write(const std::string& bytes, std::chrono::milliseconds timeout);
        bool Closed() const { return m_closed; }
        bool Stopping() const;
        // Reads nothing and waits until the server is being destroyed.
        void WaitUntilStopping() const;
        // Keeps bytes for the test (ScriptedServer::Kept).
        void Keep(const std::string& bytes);

    private:
        friend class ScriptedServer;
        Connection(ScriptedServer& server, int socket) : m_server(server), m_socket(socket) {}
        ScriptedServer& m_server;
        int m_socket;
        bool m_closed = false;
    };

private:
    void Run(Script script);

    int m_listener = -1;
    int m_stop = -1;  // eventfd: the server is being destroyed
    unsigned m_port = 0;
    std::atomic<bool> m_finished{false};
    mutable std::mutex m_keptMutex;
    std::string m_kept;
    std::thread m_thread;
};

// Telnet bytes of the com-port option (RFC 2217), for scripts.
namespace telnet {
inline constexpr char kIac = '\xFF', kSb = '\xFA', kSe = '\xF0', kDo = '\xFD', kDont = '\xFE', kWill = '\xFB';
inline constexpr char kComPort = 44;
// The com-port commands in text (IAC SB 44 ... IAC SE), each as command and
// value bytes, in the order they came; other telnet bytes are dropped.
std::vector<std::string> ComPortCommands(const std::string& text);
// The server's answer to a command: its code plus 100, with value.
std::string ComPortAnswer(char command, const std::string& value);
}  // namespace telnet

}  // namespace quorlin::test
