#pragma once
// Reads the operator's command lines from a descriptor (standard input or a
// FIFO) without blocking the simulator.

#include <string>
#include <vector>

namespace quorlin::sim {

class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}
    int Descriptor() const { return fd_; }

    // Reads what is waiting and appends every complete line to `lines`.
    // False once the writer has gone (end of file); a last line without
    // its line end is delivered then.
    bool ReadLines(std::vector<std::string>& lines);

private:
    int fd_;
    std::string pending_;
};

// Makes (if needed) and opens the FIFO `path` for reading. It is opened for
// writing too, so that it never reports end of file when a writer closes it:
// every "echo send x > FIFO" delivers one more command. -1 on failure.
int OpenControlFifo(const std::string& path, std::string& error);

}  // namespace quorlin::sim
