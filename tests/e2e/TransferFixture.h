#pragma once
// The stage of every end-to-end test: a temporary folder with its own ports
// folder (QUORLIN_PORTS), profile folder (XDG_CONFIG_HOME) and store, a
// quorlin-sim playing the controller on COM1, and quorlin-cli runs against it.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/Process.h"
#include "tests/support/TemporaryFolder.h"

namespace quorlin::e2e {

using Bytes = std::string;

// Line settings for pacing the simulator where a transfer must still run
// when the test acts on it. Fast enough that what the PC already handed to a
// pty (some 20 KB) leaves in about two seconds: after a cancel, bytes that
// reached the port still go out before the tool closes it.
inline const char* const kCancelLine = "115200,o,8,1";

class TransferFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the simulator for `family` and waits for its "ready" line.
    void StartSim(int family, const std::vector<std::string>& extra = {});
    // Gives the simulator a command and waits for its report line that
    // contains `answer`; the line (empty on time-out, with a failure).
    std::string Sim(const std::string& command, const std::string& answer);
    // Waits for the simulator's next report line containing `text`.
    std::string SimReports(const std::string& text, Deadline deadline = After());

    // Starts quorlin-cli with `args` followed by --port 1 --family F (unless
    // lineOptions_ is false).
    Process& StartCli(const std::vector<std::string>& args);
    // Waits for the command-line tool to end; its exit status (-1 when it
    // had to be killed, with a failure).
    int WaitCli(Deadline deadline = After());
    // Starts quorlin-cli and waits for it to end.
    int RunCli(const std::vector<std::string>& args);
    // Waits until the tool's standard output holds `text`.
    bool CliPrinted(const std::string& text, Deadline deadline = After());

    // Waits until a receive of the tool is ready for the controller's
    // program: its log shows the receive begun and, for an Xon family, its
    // line is set up (setting it up empties the port's queues).
    void WaitUntilReceiving();

    std::string Write(const std::string& name, const Bytes& bytes);
    static Bytes Read(const std::string& path);
    // The path in a "stored ... PATH ..." report line.
    static std::string StoredPath(const std::string& reportLine);
    // The number after `key` in a report line.
    static long long Field(const std::string& reportLine, const std::string& key);

    // What the tool printed, for failure messages.
    std::string CliOutput() const;

    test::TemporaryFolder temporary_{"quorlin-e2e"};
    const std::string folder_ = temporary_.Path();
    int family_ = 0;
    std::unique_ptr<Process> sim_;
    std::unique_ptr<Process> cli_;
    std::size_t simSeen_ = 0;
    Session session_;
    std::vector<std::string> extraCliOptions_;
    // False: the tool gets no --port and --family (a machine names them).
    bool lineOptions_ = true;
    // Run before the tool's path, as a user's shell does: {"/bin/sh", "-c",
    // SCRIPT}, in which "$0" "$@" is the tool with its arguments.
    std::vector<std::string> cliWrapper_;
};

// An update file: the 22-byte header ('%', "QZ", checksum and length of the
// payload) and the payload.
Bytes UpdateFile(const Bytes& payload);
// A picture bitmap whose pixel data begins at 1078, behind a full palette.
Bytes PictureBitmap(std::size_t pixelBytes);
// `count` bytes of a repeatable pattern, never zero in a whole block.
Bytes Pattern(std::size_t count, unsigned seed);
// A long NC program of `lines` lines ending in LF.
Bytes LongProgram(std::size_t lines);

}  // namespace quorlin::e2e
