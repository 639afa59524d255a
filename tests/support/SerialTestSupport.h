#pragma once
// Test support for anything that talks to a CSerialPort: a pseudo-terminal
// with the controller's end in the test's hands, an owner that records what
// the port posts, and a temporary port map. Every wait is bounded; the
// deadline only matters when a test fails.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <condition_variable>
#include <string>
#include <vector>

#include "serial/SerialOwner.h"
#include "tests/support/TemporaryFolder.h"

namespace quorlin::test {

// Generous: on a loaded machine a wait may take long; only a failure waits
// this long.
inline constexpr std::chrono::milliseconds kWaitDeadline{10000};

// A pseudo-terminal pair. The slave end is what a CSerialPort opens (through a
// port map link to SlavePath()); the master end plays the controller. The pair
// keeps a descriptor of its own on the slave, in raw mode, so that the slave
// is never left without an opener while the port is closed; that descriptor is
// not read from.
class PtyPair {
public:
    PtyPair();  // fails the current test (ADD_FAILURE) if no pty can be had
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool IsValid() const { return m_master >= 0; }
    int MasterFd() const { return m_master; }  // non-blocking
    int SlaveFd() const { return m_slave; }    // the pair's own slave descriptor
    const std::string& SlavePath() const { return m_slavePath; }

    // The controller's side.
    bool Write(const std::string& bytes);  // all of it, waiting for room
    std::string ReadAvailable();           // whatever is waiting now, maybe ""
    // Reads until exactly count bytes have come or the deadline passes; the
    // result holds what came.
    std::string ReadExactly(size_t count, std::chrono::milliseconds deadline = kWaitDeadline);
    // Closes the master: the port sees its device vanish.
    void CloseMaster();

private:
    // One read of the master that does not wait: the count, 0 when nothing
    // waits now, -1 when the master is closed or failed.
    long ReadPiece(char* buffer, size_t size);
    // Waits until the master may have something to read; false once until
    // has passed.
    bool WaitReadable(std::chrono::steady_clock::time_point until);

    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

struct PostedMessage {
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
};

// An ISerialOwner that records every message, in order, from any thread.
class RecordingOwner : public quorlin::ISerialOwner {
public:
    using Predicate = std::function<bool(const std::vector<PostedMessage>&)>;

    void Post(unsigned message, uintptr_t wParam, intptr_t lParam) override;

    std::vector<PostedMessage> Messages() const;  // everything posted so far
    size_t Count(unsigned message) const;
    // Waits until predicate holds for the messages posted so far; false when
    // the deadline passed first.
    bool WaitFor(const Predicate& predicate, std::chrono::milliseconds deadline = kWaitDeadline);
    bool WaitForCount(unsigned message, size_t count,
                      std::chrono::milliseconds deadline = kWaitDeadline);
    // The owner's message queue: takes the oldest message not yet taken,
    // waiting for one up to the deadline.
    bool Take(PostedMessage& out, std::chrono::milliseconds deadline = kWaitDeadline);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_posted;
    std::vector<PostedMessage> m_messages;
    size_t m_taken = 0;
};

// A temporary folder made the whole port map (QUORLIN_PORTS) for the life of
// the object; the previous value of the variable is restored afterwards.
class PortsFolder {
public:
    PortsFolder();
    ~PortsFolder();
    PortsFolder(const PortsFolder&) = delete;
    PortsFolder& operator=(const PortsFolder&) = delete;

    // Makes the link COM<port> to device (which need not exist).
    void Link(unsigned port, const std::string& device);
    const std::string& Path() const { return m_path; }

private:
    std::unique_ptr<TemporaryFolder> m_folder;  // none under Wine, where the port host maps COM ports
    std::string m_path;
    bool m_hadPrevious = false;
    std::string m_previous;
};

}  // namespace quorlin::test
