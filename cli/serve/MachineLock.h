#pragma once
// Which serve serves a machine. Two serves of one profile would each keep a
// receive on the machine's hidden receive file, and the second's clean-up
// between its retries would rename or delete the file the first is
// receiving into: the first would then store into a file that is gone. The
// machine is held by an flock on ".serve-NAME.lock" in its receive folder,
// taken before anything else in the folder is touched; the kernel lets go
// of it when the serve that holds it ends, however it ends.

#include <string>

namespace quorlin::cli {

class MachineLock {
public:
    enum class Outcome {
        Held,           // this serve has the machine now
        HeldElsewhere,  // another serve has it: leave the folder alone
        Failed,         // the lock file could not be made (no folder yet): try again later
    };

    MachineLock() = default;
    ~MachineLock();
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;

    // Takes the machine's lock if it is free. why: for HeldElsewhere who
    // holds it, for Failed what went wrong.
    Outcome Take(const std::string& folder, const std::string& machineName, std::string& why);
    bool IsHeld() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

}  // namespace quorlin::cli
