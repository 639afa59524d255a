#include "sim/ControlChannel.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorlin::sim {

bool LineReader::ReadLines(std::vector<std::string>& lines) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            pending_.append(buffer, static_cast<std::size_t>(n));
            std::size_t start = 0;
            for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1)
                lines.push_back(pending_.substr(start, end - start));
            pending_.erase(0, start);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        // End of file or a broken descriptor: the writer is gone.
        if (!pending_.empty()) lines.push_back(pending_);
        pending_.clear();
        return false;
    }
}

int OpenControlFifo(const std::string& path, std::string& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        if (mkfifo(path.c_str(), 0600) != 0) {
            error = "cannot make the FIFO " + path + ": " + std::strerror(errno);
            return -1;
        }
    } else if (!S_ISFIFO(info.st_mode)) {
        error = path + " exists and is not a FIFO";
        return -1;
    }
    const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) error = "cannot open the FIFO " + path + ": " + std::strerror(errno);
    return fd;
}

}  // namespace quorlin::sim
