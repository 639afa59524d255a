#pragma once
// The simulated controller's end of the line: a pseudo-terminal whose slave
// is linked as COM<N> in the ports folder, so the PC side opens it by number.
//
// The simulator keeps a slave descriptor of its own open (it never reads it):
// without one the master reads EIO and polls POLLHUP for as long as no PC has
// the port open. A pty keeps the exclusive-open mark that the PC sets after
// the PC closes it (a real port drops it on the last close), so the simulator
// watches the slave's opens and closes and clears the mark whenever the last
// PC opener has gone; otherwise the PC could not open the port a second time.

#include <memory>
#include <string>

namespace quorlin::sim {

class SimPty {
public:
    // Makes the pty and the link `portsDir`/COM<com>; an existing link is
    // replaced only when it no longer leads to a device. Nothing and `error`
    // set when that fails.
    static std::unique_ptr<SimPty> Create(const std::string& portsDir, int com, std::string& error);
    ~SimPty();
    SimPty(const SimPty&) = delete;
    SimPty& operator=(const SimPty&) = delete;

    int Master() const { return master_; }
    const std::string& Device() const { return device_; }
    const std::string& Link() const { return link_; }

    // A descriptor that becomes readable when the PC opens or closes the
    // port; -1 where that cannot be watched.
    int WatchDescriptor() const { return watch_; }
    // Reads the watch events: how many opens and closes happened.
    void ReadWatchEvents(int& opens, int& closes);
    // Called when the PC has closed the port and nobody else holds it.
    void ReleaseExclusive();

    // The speed the PC set on its end of the line (a pty keeps the speed of
    // the last tcsetattr, though not its data bits or parity); 0 if unknown.
    unsigned PcBaud() const;
    // The PC's flow control as its termios shows it: "xonxoff" (IXOFF),
    // "rtscts" (CRTSCTS) or "none"; empty if unknown.
    std::string PcHandshake() const;

    // Closes the controller's side: every descriptor of the pty, so the
    // device goes away (the link stays, leading nowhere).
    void Close();
    // Hangs the line up: every opener of the port sees the hang-up and the
    // device stays. False when the system does not allow it (then nothing
    // happened).
    bool HangUp();
    bool IsOpen() const { return master_ >= 0; }

private:
    SimPty() = default;
    int master_ = -1;
    int slave_ = -1;
    int watch_ = -1;
    std::string device_;
    std::string link_;
};

}  // namespace quorlin::sim
