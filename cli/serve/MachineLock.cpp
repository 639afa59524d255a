#include "cli/serve/MachineLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorlin::cli {

namespace {

// The holder's process number, written into the lock file for whoever is
// refused: it tells the operator which serve to look for.
std::string HolderOf(int fd) {
    char text[32] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    std::string holder(text, got > 0 ? static_cast<size_t>(got) : 0);
    while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\r')) holder.pop_back();
    return holder;
}

}  // namespace

MachineLock::~MachineLock() {
    if (m_fd >= 0) ::close(m_fd);
}

MachineLock::Outcome MachineLock::Take(const std::string& folder, const std::string& machineName, std::string& why) {
    if (m_fd >= 0) return Outcome::Held;
    const std::string path = folder + "/.serve-" + machineName + ".lock";
    // Never through a link: the lock file is written (its holder's number).
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        why = "cannot make " + path + ": " + std::strerror(errno);
        return Outcome::Failed;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = path + " is not a regular file: the machine's lock cannot be kept there";
        ::close(fd);
        return Outcome::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            const std::string holder = HolderOf(fd);
            why = "another serve" + (holder.empty() ? std::string() : " (process " + holder + ")") +
                  " serves it; " + path + " is held";
        } else {
            why = "cannot lock " + path + ": " + std::strerror(error);
        }
        ::close(fd);
        return error == EWOULDBLOCK ? Outcome::HeldElsewhere : Outcome::Failed;
    }
    const std::string holder = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) (void)!::pwrite(fd, holder.data(), holder.size(), 0);
    m_fd = fd;
    return Outcome::Held;
}

}  // namespace quorlin::cli
