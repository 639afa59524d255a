// Ports on a serial device server: quorlin-cli against a real ser2net on
// 127.0.0.1, which bridges the simulator's pty, once over the telnet
// com-port option (a COM<N> link to an rfc2217:// address: the line settings
// travel over the network) and once over raw TCP (a machine profile's
// tcp:// address: the server keeps its own settings).

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "tests/e2e/TransferFixture.h"

namespace quorlin::e2e {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSer2net = "/usr/sbin/ser2net";
// The server's own speed: the PC's replaces it over RFC 2217.
constexpr unsigned kServerBaud = 1200;

enum class Kind { Rfc2217, RawTcp };

// A TCP port of 127.0.0.1 that nobody listens on now.
unsigned FreePort() {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    return ntohs(address.sin_port);
}

// Bytes of a program that take `seconds` of line time at 9600 baud, 7 data
// bits, odd parity (960 characters a second).
Bytes ProgramOfLineTime(double seconds) {
    Bytes program;
    for (std::size_t line = 1; program.size() < static_cast<std::size_t>(seconds * 960); ++line)
        program += "N" + std::to_string(line) + "G01X" + std::to_string(line % 500) + "Y7\n";
    return program;
}

class NetworkPort : public TransferFixture, public ::testing::WithParamInterface<std::tuple<int, Kind>> {
protected:
    void SetUp() override {
        if (access(kSer2net, X_OK) != 0) GTEST_SKIP() << "ser2net is not installed (tools/install-deps)";
        TransferFixture::SetUp();
        StartSim(Family());
        ASSERT_NO_FATAL_FAILURE(StartServer());
        lineOptions_ = false;
        if (GetParam() == std::make_tuple(Family(), Kind::Rfc2217)) {
            fs::create_symlink(address_, folder_ + "/ports/COM2");
            extraCliOptions_ = {"--port", "2", "--family", std::to_string(Family())};
        } else {
            fs::create_directories(folder_ + "/config/Morvale CNC");
            std::ofstream(folder_ + "/config/Morvale CNC/Quorlin.conf")
                << "[Machine.Lathe]\nPort=" << address_ << "\nFamily=" << Family() << "\n";
            extraCliOptions_ = {"--machine", "Lathe"};
        }
    }

    void TearDown() override {
        if (server_) {
            server_->Signal(SIGTERM);
            session_.WaitForExit(*server_, After());
            session_.Remove(*server_);
        }
        TransferFixture::TearDown();
    }

    int Family() const { return std::get<0>(GetParam()); }
    bool Rfc2217() const { return std::get<1>(GetParam()) == Kind::Rfc2217; }
    // What the PC sets over RFC 2217 (a raw server keeps its own, set when
    // it opens the line): programs go at 9600 baud, family 2's download at
    // 19200.
    unsigned ExpectedBaud(bool download = false) const { return download && Family() == 2 ? 19200u : 9600u; }

    // ser2net serving the simulator's pty; ready once it has written its pid
    // file, which it does after it has begun to listen.
    void StartServer() {
        const std::string device = fs::read_symlink(folder_ + "/ports/COM1").string();
        const unsigned port = FreePort();
        address_ = std::string(Rfc2217() ? "rfc2217" : "tcp") + "://127.0.0.1:" + std::to_string(port);
        const std::string config = Write("ser2net.yaml", "connection: &line\n  accepter: " +
                                                             std::string(Rfc2217() ? "telnet(rfc2217)," : "") +
                                                             "tcp,127.0.0.1," + std::to_string(port) +
                                                             "\n  connector: serialdev," + device + "," +
                                                             std::to_string(kServerBaud) + "n81,local\n" +
                                                             // An echo protocol waits on every character: no
                                                             // gathering of received bytes before they go on.
                                                             "  options:\n    chardelay: false\n");
        const std::string pidFile = folder_ + "/ser2net.pid";
        const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        ASSERT_GE(watch, 0);
        inotify_add_watch(watch, folder_.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
        server_ = std::make_unique<Process>(
            std::vector<std::string>{kSer2net, "-n", "-c", config, "-P", pidFile}, InheritedEnvironment(), "ser2net");
        ASSERT_TRUE(server_->Started());
        session_.Add(*server_);
        const Deadline deadline = After();
        while (!(fs::exists(pidFile) && fs::file_size(pidFile) > 0) && std::chrono::steady_clock::now() < deadline) {
            pollfd fd{watch, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            poll(&fd, 1, static_cast<int>(std::max<long long>(left.count(), 0) + 1));
            char events[4096];
            while (read(watch, events, sizeof events) > 0) {
            }
        }
        close(watch);
        ASSERT_TRUE(fs::exists(pidFile)) << "ser2net did not start:\n" << server_->Err();
    }

    // Xon: the controller asks for the program once the PC has logged the
    // start (its line is set up before).
    void ControllerAsksIfXon() {
        if (Family() != 4) return;
        ASSERT_TRUE(CliPrinted("Begin to send file")) << CliOutput();
        Sim("take", "taking program");
    }

    // Sends a program of `seconds` line time to the paced controller: it
    // arrives whole, and the tool ends within a short, known time after the
    // controller has the last byte (it waits for its server's line, no more).
    void SendPacedProgram(double seconds) {
        const Bytes program = ProgramOfLineTime(seconds);
        const auto started = std::chrono::steady_clock::now();
        StartCli({"send", Write("paced.nc", program)});
        ControllerAsksIfXon();
        const auto bound = std::chrono::seconds(static_cast<long>(seconds * 1.5) + 30);
        const std::string stored = SimReports("stored program", After(bound));
        ASSERT_FALSE(stored.empty()) << CliOutput();
        const auto storedAt = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitCli(After(bound)), 0) << CliOutput();
        const auto ended = std::chrono::steady_clock::now();
        const Bytes sent = Read(StoredPath(stored));
        EXPECT_EQ(sent.substr(0, program.size()), program) << "stored " << sent.size() << " of " << program.size();
        const double took = std::chrono::duration<double>(ended - started).count();
        const double after = std::chrono::duration<double>(ended - storedAt).count();
        std::printf("%.0f s of line time: sent in %.1f s, the tool ended %.2f s after the controller had it\n",
                    seconds, took, after);
        EXPECT_GT(took, seconds * 0.9);
        EXPECT_LT(after, 3.0);
    }

    std::string address_;
    std::unique_ptr<Process> server_;
};

// A program with every byte the telnet layer treats specially (IAC, CR NUL)
// would not survive an NC program's cleaning; bytes the line must carry
// unchanged are the download's, which covers all 256 values.
TEST_P(NetworkPort, SendReceiveAndDownloadArriveByteExact) {
    const Bytes program = LongProgram(120);  // several of the Block protocol's pieces
    StartCli({"send", Write("long.nc", program)});
    ControllerAsksIfXon();
    const std::string started = SimReports("program started");
    if (Rfc2217()) {
        EXPECT_EQ(Field(started, "pc-baud"), ExpectedBaud());
    }
    const std::string stored = SimReports("stored program");
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    const Bytes sent = Read(StoredPath(stored));
    EXPECT_EQ(sent.substr(0, program.size()), program);

    const std::string target = folder_ + "/back.nc";
    StartCli({"receive", target});
    ASSERT_TRUE(CliPrinted("Begin to receive file\r\n")) << CliOutput();
    if (Family() == 4 && Rfc2217()) Sim("await pc-handshake none", "pc-handshake none");
    Sim("send " + Write("controller.nc", "N1G0X10\n%\nM30\n"), "sending program");
    SimReports("sent program");
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    EXPECT_EQ(Read(target), "N1G0X10\r\n%\r\nM30\r\n");

    // Every family offers a block download (kind 3) but family 2, whose
    // download is a plain stream (kind 2).
    // A network port gives the line its time, so a download takes its line
    // time here: one block (some 35 s at 9600 baud) over RFC 2217, where
    // the speed travels over the network; raw TCP is paced alike. Family 4
    // changes the data bits from the program's 7 to the download's 8, and
    // family 3 stands for the other block families, whose line is the same.
    const bool blocks = Family() != 2;
    if (blocks && (!Rfc2217() || Family() < 3)) return;
    Bytes payload;
    for (int i = 0; i < (blocks ? 30000 : 40000); ++i) payload += static_cast<char>((i * 7 + i / 256) & 0xFF);
    Sim(blocks ? "expect download blocks answer 11" : "expect download stream", "expecting download");
    StartCli({"download", "--kind", blocks ? "3" : "2", Write("image.bin", blocks ? UpdateFile(payload) : payload)});
    const std::string download = SimReports("download started");
    if (Rfc2217()) {
        EXPECT_EQ(Field(download, "pc-baud"), ExpectedBaud(true));
    }
    EXPECT_EQ(WaitCli(After(std::chrono::seconds(90))), 0) << CliOutput();
    Bytes expected = payload;
    if (blocks) expected.resize(32768, '\0');
    EXPECT_EQ(Read(StoredPath(SimReports("stored download", After(std::chrono::seconds(30))))), expected);
}

// The server goes away in the middle of a send: the transfer ends as a lost
// port, with the message of an unplugged adapter, within 2 s.
TEST_P(NetworkPort, AServerKilledMidTransferIsALostPort) {
    Sim("line 1200,o,8,1", "line ");  // slow enough that the send is still running
    StartCli({"send", Write("long.nc", LongProgram(3000))});
    ControllerAsksIfXon();
    SimReports("program started");
    const auto killed = std::chrono::steady_clock::now();
    server_->Signal(SIGKILL);
    EXPECT_EQ(WaitCli(killed + std::chrono::seconds(8)), 1) << CliOutput();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - killed);
    EXPECT_LT(took.count(), 2000) << CliOutput();
    RecordProperty("lost_port_ms", static_cast<int>(took.count()));
    EXPECT_NE(cli_->Out().find("Transfer stopped: the serial port was lost\r\n"), std::string::npos) << CliOutput();
    session_.WaitForExit(*server_, After());
    session_.Remove(*server_);
    server_.reset();
}

// The controller takes the line at its real rate, behind a server that
// drops what it still holds when the connection closes: the whole program
// arrives, and the send ends shortly after the controller has it. Every
// family over RFC 2217 and one over raw TCP (each case takes its program's
// line time); family 2 also downloads a plain stream the same way.
TEST_P(NetworkPort, APacedControllerGetsAllOfTenSecondsOfLineTime) {
    if (!Rfc2217() && Family() != 1) GTEST_SKIP() << "raw TCP is paced alike: family 1 stands for it";
    Sim("pace on", "pace on");
    SendPacedProgram(10);
    if (Family() != 2) return;
    // The plain-stream download at 19200 baud, 8 data bits: 10 s of it.
    const Bytes payload = Pattern(19200, 3);
    Sim("expect download stream", "expecting download");
    StartCli({"download", "--kind", "2", Write("image.bin", payload)});
    SimReports("download started");
    const std::string stored = SimReports("stored download", After(std::chrono::seconds(40)));
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    EXPECT_EQ(Read(StoredPath(stored)), payload);
}

// A minute of line time, at family 1's line, over RFC 2217.
TEST_P(NetworkPort, APacedControllerGetsAllOfAMinuteOfLineTime) {
    if (!Rfc2217() || Family() != 1) GTEST_SKIP() << "one family stands for the long send";
    Sim("pace on", "pace on");
    SendPacedProgram(60);
}

// Five minutes of line time over raw TCP: run by hand
// (QUORLIN_LONG_NETWORK_TESTS=1), as it takes as long as it says.
TEST_P(NetworkPort, APacedControllerGetsAllOfFiveMinutesOfLineTime) {
    if (Rfc2217() || Family() != 1) GTEST_SKIP() << "one family stands for the long send";
    if (!std::getenv("QUORLIN_LONG_NETWORK_TESTS")) GTEST_SKIP() << "set QUORLIN_LONG_NETWORK_TESTS=1 to run";
    Sim("pace on", "pace on");
    SendPacedProgram(300);
}

// The server is killed part-way through a paced send: the send does not
// end as completed.
TEST_P(NetworkPort, AServerKilledPartWayThroughAPacedSendEndsItAsFailed) {
    if (Family() != 1) GTEST_SKIP() << "family 1 stands for the others";
    Sim("pace on", "pace on");
    Sim("mark at 3000", "armed mark");
    StartCli({"send", Write("paced.nc", ProgramOfLineTime(10))});
    ASSERT_FALSE(SimReports("reached 3000 bytes").empty()) << CliOutput();
    server_->Signal(SIGKILL);
    EXPECT_EQ(WaitCli(), 1) << CliOutput();
    EXPECT_EQ(cli_->Out().find("File sending completed"), std::string::npos) << CliOutput();
    session_.WaitForExit(*server_, After());
    session_.Remove(*server_);
    server_.reset();
}

INSTANTIATE_TEST_SUITE_P(EveryFamilyBothKinds, NetworkPort,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3, 4),
                                            ::testing::Values(Kind::Rfc2217, Kind::RawTcp)),
                         [](const auto& info) {
                             return "family" + std::to_string(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) == Kind::Rfc2217 ? "_rfc2217" : "_tcp");
                         });

}  // namespace
}  // namespace quorlin::e2e
