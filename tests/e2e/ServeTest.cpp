// quorlin-cli serve against controllers on ptys: programs stored under their
// numbers, requests answered, a lost port taken back, the signals, and four
// machines served at once by the one process.

#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tests/e2e/TransferFixture.h"
#include "tests/support/SilentServer.h"

namespace quorlin::e2e {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class Serve : public TransferFixture {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        lineOptions_ = false;
        fs::create_directories(folder_ + "/config/Morvale CNC");
        fs::create_directories(folder_ + "/logs");
        ASSERT_TRUE(session_.WatchFolder(folder_ + "/logs"));
    }
    void TearDown() override {
        for (auto& sim : moreSims_) {
            sim->WriteLine("quit");
            sim->CloseInput();
            session_.WaitForExit(*sim, After());
            session_.Remove(*sim);
        }
        TransferFixture::TearDown();
    }

    // A machine on COM<com>, family 1, with folders of its own: it receives
    // into NAME/in and sends from NAME/out.
    std::string Machine(const std::string& name, int com, const std::string& more = "") {
        fs::create_directories(folder_ + "/" + name + "/in");
        fs::create_directories(folder_ + "/" + name + "/out");
        return "[Machine." + name + "]\nPort=COM" + std::to_string(com) + "\nFamily=1\nReceiveFolder=" + folder_ + "/" +
               name + "/in\nSendFolders=" + folder_ + "/" + name + "/out\nRequestDelay=0.3\nLogFile=" + folder_ +
               "/logs/" + name + ".log\n" + more + "\n";
    }
    void WriteProfile(const std::string& groups) {
        std::ofstream(folder_ + "/config/Morvale CNC/Quorlin.conf") << "[Prop]\nCommPort=0\nSysType=1\n\n" << groups;
    }
    void StartServe() { StartCli({"serve", "--retry-ms", "100"}); }

    // Waits for serve's next event line holding text; the line.
    std::string Event(const std::string& text) {
        const auto line = session_.WaitForLine(*cli_, text, cliSeen_, After());
        EXPECT_TRUE(line) << "no event \"" << text << "\"\n" << CliOutput();
        return line.value_or("");
    }
    // The controller on COM<com> besides the fixture's on COM1.
    Process& MoreSim(int com) {
        moreSims_.push_back(std::make_unique<Process>(
            std::vector<std::string>{QUORLIN_SIM_PATH, "--family", "1", "--com", std::to_string(com), "--store",
                                     folder_ + "/store"},
            IsolatedEnvironment(folder_), "quorlin-sim COM" + std::to_string(com)));
        Process& sim = *moreSims_.back();
        session_.Add(sim);
        size_t seen = 0;
        EXPECT_TRUE(session_.WaitForLine(sim, "ready COM", seen, After()));
        return sim;
    }
    // Whether the machine's log file says text before the deadline: serve
    // writes its logs a little after the events.
    bool LogSays(const std::string& name, const std::string& text) {
        const std::string path = folder_ + "/logs/" + name + ".log";
        const bool said = session_.WaitUntil([&] { return Read(path).find(text) != std::string::npos; }, After());
        EXPECT_TRUE(said) << "the log does not say \"" << text << "\"\n" << Read(path);
        return said;
    }
    std::vector<std::string> Names(const std::string& subfolder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_ + "/" + subfolder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Another serve of the same profile.
    std::unique_ptr<Process> SecondServe() {
        auto second = std::make_unique<Process>(
            std::vector<std::string>{QUORLIN_CLI_PATH, "serve", "--retry-ms", "100"}, IsolatedEnvironment(folder_),
            "second serve");
        session_.Add(*second);
        return second;
    }
    // How often the machine's log says text.
    size_t LogCount(const std::string& name, const std::string& text) {
        const std::string log = Read(folder_ + "/logs/" + name + ".log");
        size_t count = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
        return count;
    }
    // Ends serve with SIGTERM; how long it took (a failure when it did not end).
    double Terminate() {
        const auto signalled = Clock::now();
        cli_->Signal(SIGTERM);
        EXPECT_EQ(WaitCli(After(std::chrono::seconds(20))), 0) << CliOutput();
        return std::chrono::duration<double>(Clock::now() - signalled).count();
    }
    static bool IsKind(const std::string& path, mode_t kind) {
        struct stat seen {};
        return ::lstat(path.c_str(), &seen) == 0 && (seen.st_mode & S_IFMT) == kind;
    }

    std::size_t cliSeen_ = 0;
    std::vector<std::unique_ptr<Process>> moreSims_;
};

TEST_F(Serve, StoresEachProgramUnderItsNumberAndKeepsTheOlderOne) {
    StartSim(1);
    WriteProfile(Machine("Lathe", 1));
    StartServe();
    Event("Lathe: serving COM1");
    const std::string in = folder_ + "/Lathe/in";

    Sim("send " + Write("first.nc", "%\nO1234 (SHAFT)\nN1G01X1\nM30\n%\n"), "sent program");
    EXPECT_EQ(Event("Lathe: stored "), "Lathe: stored " + in + "/O1234.nc (35 bytes)");
    Sim("send " + Write("second.nc", "%\nO1234 (SHAFT B)\nN1G01X2\nM30\n%\n"), "sent program");
    Event("Lathe: stored " + in + "/O1234.nc (");
    Sim("send " + Write("bare.nc", "N1G01X3\nM30\n"), "sent program");
    const std::string bare = Event("Lathe: stored " + in + "/received-");

    EXPECT_EQ(Read(in + "/O1234.nc"), "%\r\nO1234 (SHAFT B)\r\nN1G01X2\r\nM30\r\n%\r\n");
    const auto names = Names("Lathe/in");
    // The waiting receive's file, the machine's lock, the program, its older
    // version, the one without a number.
    ASSERT_EQ(names.size(), 5u) << CliOutput();
    EXPECT_EQ(names[0], ".receiving-Lathe.nc");
    EXPECT_EQ(names[1], ".serve-Lathe.lock");
    EXPECT_EQ(names[2].substr(0, 6), "O1234.");
    EXPECT_EQ(names[2].size(), std::string("O1234.20260101-120000.nc").size());
    EXPECT_EQ(Read(in + "/" + names[2]), "%\r\nO1234 (SHAFT)\r\nN1G01X1\r\nM30\r\n%\r\n");
    EXPECT_EQ(names[3], "O1234.nc");
    EXPECT_EQ(Read(in + "/" + names[4]), "N1G01X3\r\nM30\r\n");
    EXPECT_NE(bare.find(names[4]), std::string::npos);
    LogSays("Lathe", "File receiving completed");
}

TEST_F(Serve, AnswersARequestAfterItsDelayAndNamesAnUnknownOne) {
    StartSim(1);
    WriteProfile(Machine("Lathe", 1));
    Write("Lathe/out/O1234.nc", "O1234\nN1G01X5\nM30\n");
    StartServe();
    Event("Lathe: serving COM1");

    Sim("send " + Write("request.nc", "%\nO9999\n(REQ O1234)\nM30\n%\n"), "sent program");
    Event("Lathe: requested O1234.nc");
    const auto requested = Clock::now();
    const std::string stored = SimReports("stored program");
    EXPECT_GE(Clock::now() - requested, std::chrono::milliseconds(300));
    EXPECT_NE(Read(StoredPath(stored)).find("N1G01X5"), std::string::npos);
    Event("Lathe: sent " + folder_ + "/Lathe/out/O1234.nc (18 bytes)");

    Sim("send " + Write("unknown.nc", "O9999\n(PRG=77)\n"), "sent program");
    Event("Lathe: failed request O77.nc: it is in none of the send folders");
    Sim("send " + Write("after.nc", "O5\nM30\n"), "sent program");
    Event("Lathe: stored " + folder_ + "/Lathe/in/O5.nc");
    // Requests are never stored, and the unknown one sent nothing.
    EXPECT_EQ(Names("Lathe/in"), (std::vector<std::string>{".receiving-Lathe.nc", ".serve-Lathe.lock", "O5.nc"}));
    EXPECT_EQ(sim_->Out().find("stored program", sim_->Out().find("stored program") + 1), std::string::npos);
}

// An Xon control asks for the program itself (DC1), as soon as the operator
// has switched it to receive: the send waits for that from the start.
TEST_F(Serve, AnswersAnXonRequestAtOnceAndSendsOnTheControlsDc1) {
    StartSim(4);
    // Machine's group with family 4 and a delay the test would notice.
    std::string group = Machine("Mill", 1);
    group.replace(group.find("Family=1"), 8, "Family=4");
    group.replace(group.find("RequestDelay=0.3"), 16, "RequestDelay=30");
    WriteProfile(group);
    Write("Mill/out/O12.nc", "O12\nN1G01X5\nM30\n");
    StartServe();
    Event("Mill: serving COM1");

    Sim("send " + Write("request.nc", "O9999\n(REQ O12)\n"), "sent program");
    Event("Mill: requested O12.nc");
    ASSERT_TRUE(LogSays("Mill", "Begin to send file"));
    Sim("take", "taking program");
    EXPECT_NE(Read(StoredPath(SimReports("stored program"))).find("N1G01X5"), std::string::npos);
    Event("Mill: sent " + folder_ + "/Mill/out/O12.nc");
}

TEST_F(Serve, TakesALostPortBackWhenItReturns) {
    StartSim(1);
    WriteProfile(Machine("Lathe", 1));
    StartServe();
    Event("Lathe: serving COM1");
    Sim("vanish close", "vanished");
    Event("Lathe: port lost");

    sim_->WriteLine("quit");
    sim_->CloseInput();
    ASSERT_TRUE(session_.WaitForExit(*sim_, After()));
    session_.Remove(*sim_);
    simSeen_ = 0;
    StartSim(1);
    Event("Lathe: port back");
    Sim("send " + Write("back.nc", "O7\nM30\n"), "sent program");
    Event("Lathe: stored " + folder_ + "/Lathe/in/O7.nc");
}

TEST_F(Serve, SigtermCancelsARunningReceiveWithinThreeSeconds) {
    StartSim(1, {"--pace", "--line", kCancelLine});
    WriteProfile(Machine("Lathe", 1, "LogFileSize=4\n"));
    StartServe();
    Event("Lathe: serving COM1");
    Sim("mark at 6000", "armed mark");
    Sim("send " + Write("long.nc", "O42\n" + LongProgram(20000)), "sending program");
    SimReports("reached 6000 bytes");

    const auto signalled = Clock::now();
    cli_->Signal(SIGTERM);
    EXPECT_EQ(WaitCli(After(std::chrono::seconds(20))), 0) << CliOutput();
    const auto took = std::chrono::duration<double>(Clock::now() - signalled).count();
    std::cout << "serve ended " << took << " s after SIGTERM\n";
    EXPECT_LT(took, 9.0);
    Event("Lathe: stopped");
    // Half a program is never under its name; what came is kept aside.
    const auto names = Names("Lathe/in");
    ASSERT_EQ(names.size(), 2u) << CliOutput();
    EXPECT_EQ(names[0], ".serve-Lathe.lock");
    EXPECT_NE(names[1].find(".partial.nc"), std::string::npos);
    // The log holds what came; at 4 KiB it went on in a new file.
    EXPECT_NE(Read(folder_ + "/logs/Lathe.log").find("File receiving cancelled"), std::string::npos);
    EXPECT_NE(Read(folder_ + "/logs/Lathe.log.1").find("N1G01X1Y7"), std::string::npos);
    EXPECT_LE(Read(folder_ + "/logs/Lathe.log.1").size(), 4096u);
}

TEST_F(Serve, SighupServesAnAddedMachineAndKeepsTheOthers) {
    StartSim(1);
    Process& mill = MoreSim(2);
    WriteProfile(Machine("Lathe", 1));
    StartServe();
    Event("Lathe: serving COM1");

    WriteProfile(Machine("Lathe", 1) + Machine("Mill", 2));
    cli_->Signal(SIGHUP);
    Event("Mill: serving COM2");
    mill.WriteLine("send " + Write("mill.nc", "O2\nM30\n"));
    Event("Mill: stored " + folder_ + "/Mill/in/O2.nc");
    Sim("send " + Write("lathe.nc", "O1\nM30\n"), "sent program");
    Event("Lathe: stored " + folder_ + "/Lathe/in/O1.nc");
    EXPECT_EQ(cli_->Out().find("Lathe: stopped"), std::string::npos) << CliOutput();
    EXPECT_EQ(cli_->Out().find("Lathe: serving", cli_->Out().find("Lathe: serving") + 1), std::string::npos);

    // Mill removed, Lathe changed: Mill stops, Lathe is served anew.
    WriteProfile(Machine("Lathe", 1, "RequestNumber=8000\n"));
    cli_->Signal(SIGHUP);
    Event("Lathe: stopped");
    Event("Lathe: serving COM1");
    EXPECT_TRUE(CliPrinted("Mill: stopped")) << CliOutput();
    Sim("send " + Write("again.nc", "O8000\n(REQ O1)\n"), "sent program");
    Event("Lathe: requested O1.nc");
}

// The short version of the shop: four machines, each receiving a program and
// then asking for it back, all at the same time.
TEST_F(Serve, FourMachinesReceiveAndSendAtOnce) {
    StartSim(1);
    std::vector<Process*> sims{sim_.get()};
    for (int com = 2; com <= 4; ++com) sims.push_back(&MoreSim(com));
    std::string groups;
    for (int m = 1; m <= 4; ++m)
        groups += Machine("M" + std::to_string(m), m, "SendFolders=" + folder_ + "/M" + std::to_string(m) + "/in");
    WriteProfile(groups);
    StartServe();
    for (int m = 1; m <= 4; ++m) ASSERT_TRUE(CliPrinted("M" + std::to_string(m) + ": serving COM")) << CliOutput();

    const auto start = Clock::now();
    for (int m = 1; m <= 4; ++m)
        sims[m - 1]->WriteLine("send " + Write("p" + std::to_string(m) + ".nc",
                                               "O10" + std::to_string(m) + "\n" + LongProgram(200)));
    for (int m = 1; m <= 4; ++m) ASSERT_TRUE(CliPrinted("M" + std::to_string(m) + ": stored ")) << CliOutput();
    for (int m = 1; m <= 4; ++m)
        sims[m - 1]->WriteLine("send " + Write("r" + std::to_string(m) + ".nc",
                                               "O9999\n(REQ O10" + std::to_string(m) + ")\n"));
    for (int m = 1; m <= 4; ++m) ASSERT_TRUE(CliPrinted("M" + std::to_string(m) + ": sent ")) << CliOutput();
    const auto took = std::chrono::duration<double>(Clock::now() - start).count();

    std::cout << "four machines' round: " << took << " s; serve used " << ProcessorSeconds(cli_->Pid())
              << " s of processor since it started\n";
    for (int m = 1; m <= 4; ++m) {
        // Stored as it came, each line ended by CR LF.
        std::string expected;
        for (const char c : "O10" + std::to_string(m) + "\n" + LongProgram(200))
            expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
        EXPECT_EQ(Read(folder_ + "/M" + std::to_string(m) + "/in/O10" + std::to_string(m) + ".nc"), expected) << m;
    }
    EXPECT_EQ(cli_->Out().find("failed"), std::string::npos) << CliOutput();
}

// A machine behind a device server that does not answer holds each opening
// of its port for the connect's 2 s; the other machines are served meanwhile.
TEST_F(Serve, AMachineWhosePortHangsHoldsUpNoOther) {
    test::SilentServer silent;
    ASSERT_TRUE(silent.IsValid());

    StartSim(1);
    std::string far = Machine("Far", 9);  // named first: served first
    far.replace(far.find("Port=COM9"), 9, "Port=tcp://127.0.0.1:" + std::to_string(silent.Port()));
    WriteProfile(far + Machine("Lathe", 1));
    StartServe();
    Event("Lathe: serving COM1");
    EXPECT_EQ(cli_->Out().find("Far: "), std::string::npos) << "Lathe waited for Far's port\n" << CliOutput();

    // Far's port is tried again and again, each time for 2 s; Lathe's program
    // is stored as soon as it has come.
    for (int program = 1; program <= 2; ++program) {
        Sim("send " + Write("p.nc", "O" + std::to_string(program) + "\nM30\n"), "sent program");
        const auto sent = Clock::now();
        Event("Lathe: stored ");
        EXPECT_LT(Clock::now() - sent, std::chrono::milliseconds(1000)) << CliOutput();
    }
    Event("Far: failed open tcp://127.0.0.1:");
}

// A second serve of the same profile, retrying the busy port every 100 ms,
// once deleted or renamed the receive file the first was receiving into: the
// first then stored its program into a file that was gone.
TEST_F(Serve, ASecondServeRefusesTheMachineAndLeavesTheFirstsProgramAlone) {
    StartSim(1, {"--pace", "--line", kCancelLine});
    WriteProfile(Machine("Lathe", 1));
    StartServe();
    Event("Lathe: serving COM1");

    const auto second = SecondServe();
    std::size_t secondSeen = 0;
    const auto refused = session_.WaitForLine(*second, "Lathe: ", secondSeen, After());
    ASSERT_TRUE(refused) << second->Err();
    EXPECT_EQ(*refused, "Lathe: refused: another serve (process " + std::to_string(cli_->Pid()) +
                            ") serves it; " + folder_ + "/Lathe/in/.serve-Lathe.lock is held");
    EXPECT_NE(second->Err().find("machine Lathe refused"), std::string::npos) << second->Err();

    // Half a second on the line: the second serve had five retries meanwhile.
    const std::string program = "%\nO1234 (SHAFT)\n" + LongProgram(300) + "%\n";
    Sim("send " + Write("p.nc", program), "sent program");
    const std::string in = folder_ + "/Lathe/in";
    Event("Lathe: stored " + in + "/O1234.nc (");
    std::string expected;
    for (const char c : program) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(Read(in + "/O1234.nc"), expected);
    EXPECT_EQ(Names("Lathe/in"), (std::vector<std::string>{".receiving-Lathe.nc", ".serve-Lathe.lock", "O1234.nc"}));

    second->Signal(SIGTERM);
    ASSERT_TRUE(session_.WaitForExit(*second, After()));
    EXPECT_EQ(second->ExitStatus(), 0);
    // It said nothing else of the machine: it never had it.
    EXPECT_EQ(second->Out(), *refused + "\n") << second->Err();
    session_.Remove(*second);
}

// The controller stops the requested send with DC3 and is reset: the send is
// given up after the idle limit, and the machine takes programs again.
TEST_F(Serve, AStalledSendIsGivenUpAndTheMachineServesAgain) {
    StartSim(1, {"--pace", "--line", kCancelLine});
    WriteProfile(Machine("Lathe", 1));
    Write("Lathe/out/O1234.nc", "O1234\n" + LongProgram(2500));
    StartCli({"serve", "--retry-ms", "100", "--idle-timeout", "1"});
    Event("Lathe: serving COM1");

    Sim("send " + Write("request.nc", "O9999\n(REQ O1234)\n"), "sent program");
    Sim("dc3 at 300", "armed dc3");
    Event("Lathe: requested O1234.nc");
    SimReports("sent DC3");
    const auto held = Clock::now();
    // The PC's line clock counts what the port was handed before the line
    // stood still (some 10 KB, 11 s at the family's 9600 baud) as still on
    // the line: the idle second begins after it.
    const auto failed = session_.WaitForLine(*cli_, "Lathe: failed send ", cliSeen_, After(std::chrono::seconds(90)));
    ASSERT_TRUE(failed) << CliOutput();
    EXPECT_EQ(*failed, "Lathe: failed send " + folder_ +
                           "/Lathe/out/O1234.nc: nothing moved on the line for 1 s; the machine waits for programs again");
    const auto took = std::chrono::duration<double>(Clock::now() - held).count();
    std::cout << "a send held by DC3 was given up " << took << " s after the DC3 (idle limit 1 s)\n";
    EXPECT_LT(took, 60.0);

    Sim("expect program", "expecting program");
    Sim("send " + Write("after.nc", "O5\nM30\n"), "sent program");
    Event("Lathe: stored " + folder_ + "/Lathe/in/O5.nc");
    // Nothing is on its line any more: a changed profile retires it at once.
    WriteProfile(Machine("Lathe", 1, "RequestNumber=8000\n"));
    cli_->Signal(SIGHUP);
    Event("Lathe: stopped");
    Event("Lathe: serving COM1");
}

// A program the operator punches before switching the control over for the
// requested one is stored as any other; the request's send waits for it.
TEST_F(Serve, AProgramPunchedDuringTheRequestDelayIsStored) {
    StartSim(1);
    std::string lathe = Machine("Lathe", 1);
    lathe.replace(lathe.find("RequestDelay=0.3"), 16, "RequestDelay=2");
    WriteProfile(lathe);
    Write("Lathe/out/O1234.nc", "O1234\nN1G01X5\nM30\n");
    StartServe();
    Event("Lathe: serving COM1");

    Sim("send " + Write("request.nc", "O9999\n(REQ O1234)\n"), "sent program");
    Event("Lathe: requested O1234.nc");
    // The receive that waits through the delay has begun.
    ASSERT_TRUE(session_.WaitUntil([&] { return LogCount("Lathe", "Begin to receive file") >= 2; }, After()))
        << Read(folder_ + "/logs/Lathe.log");
    Sim("send " + Write("punched.nc", "O55\nN1G01X9\nM30\n"), "sent program");
    Event("Lathe: stored " + folder_ + "/Lathe/in/O55.nc (");
    EXPECT_EQ(Read(folder_ + "/Lathe/in/O55.nc"), "O55\r\nN1G01X9\r\nM30\r\n");

    EXPECT_NE(Read(StoredPath(SimReports("stored program"))).find("N1G01X5"), std::string::npos);
    Event("Lathe: sent " + folder_ + "/Lathe/out/O1234.nc");
}

// A link planted as the receive file had the next program written where it
// pointed, outside the receive folder, and became the program's name.
TEST_F(Serve, ALinkPlantedAsTheReceiveFileIsNeverWrittenThroughOrNamed) {
    StartSim(1);
    WriteProfile(Machine("Lathe", 1));
    fs::create_directories(folder_ + "/outside");
    fs::create_symlink(folder_ + "/outside/target.nc", folder_ + "/Lathe/in/.receiving-Lathe.nc");
    StartServe();
    Event("Lathe: removed the link " + folder_ + "/Lathe/in/.receiving-Lathe.nc");
    Event("Lathe: serving COM1");

    Sim("send " + Write("p.nc", "O1234\nM30\n"), "sent program");
    const std::string stored = folder_ + "/Lathe/in/O1234.nc";
    Event("Lathe: stored " + stored);
    EXPECT_TRUE(IsKind(stored, S_IFREG));
    EXPECT_EQ(Read(stored), "O1234\r\nM30\r\n");
    EXPECT_FALSE(fs::exists(folder_ + "/outside/target.nc"));
}

// A reload that finds no profile (moved away, a folder, garbage) once
// stopped every machine without a word.
TEST_F(Serve, ASighupWithAnUnreadableProfileKeepsTheMachines) {
    StartSim(1);
    WriteProfile(Machine("Lathe", 1));
    StartServe();
    Event("Lathe: serving COM1");
    const std::string profile = folder_ + "/config/Morvale CNC/Quorlin.conf";

    fs::remove(profile);
    cli_->Signal(SIGHUP);
    Event("serve: failed reload: the profile " + profile + " does not exist; every machine is served as it was");
    fs::create_directory(profile);
    cli_->Signal(SIGHUP);
    Event("serve: failed reload: the profile " + profile + " is not a regular file");
    fs::remove(profile);
    std::ofstream(profile, std::ios::binary) << "[Machine.Lathe\n\x01\xfe garbage {\"json\": 1}\n";
    cli_->Signal(SIGHUP);
    Event("serve: failed reload: the profile " + profile + " is not in the form of a profile");
    EXPECT_NE(cli_->Err().find("is not in the form of a profile; every machine is served as it was"),
              std::string::npos)
        << CliOutput();

    Sim("send " + Write("p.nc", "O7\nM30\n"), "sent program");
    Event("Lathe: stored " + folder_ + "/Lathe/in/O7.nc");
    EXPECT_EQ(cli_->Out().find("Lathe: stopped"), std::string::npos) << CliOutput();
}

// A log that is no regular file ("/dev/null" for no log) is written, never
// renamed: rotating it once moved the device node away.
TEST_F(Serve, ALogThatIsADeviceIsNeverRotated) {
    const std::string null = folder_ + "/logs/null";
    if (::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) GTEST_SKIP() << "mknod needs root";
    StartSim(1);
    std::string lathe = Machine("Lathe", 1, "LogFileSize=4\n");
    lathe.replace(lathe.find("LogFile=" + folder_ + "/logs/Lathe.log"), 8 + folder_.size() + 15, "LogFile=" + null);
    WriteProfile(lathe);
    StartServe();
    Event("Lathe: serving COM1");
    Sim("send " + Write("p.nc", "O1\n" + LongProgram(400)), "sent program");
    Event("Lathe: stored ");
    Terminate();  // the logs are written out before serve ends
    EXPECT_TRUE(IsKind(null, S_IFCHR));
    EXPECT_FALSE(fs::exists(null + ".1"));
    EXPECT_EQ(cli_->Out().find("failed log"), std::string::npos) << CliOutput();
}

// One machine's log is a named pipe nobody reads: opening it once waited
// for a reader, which held every machine's log and the stop.
TEST_F(Serve, ALogThatCannotBeOpenedHoldsUpNoOtherLogNorTheStop) {
    const std::string pipe = folder_ + "/logs/pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    StartSim(1);
    std::string mill = Machine("Mill", 2);  // no controller on COM2: its failures are logged
    mill.replace(mill.find("LogFile=" + folder_ + "/logs/Mill.log"), 8 + folder_.size() + 14, "LogFile=" + pipe);
    WriteProfile(mill + Machine("Lathe", 1));
    StartServe();
    // The two machines' events come in either order.
    EXPECT_TRUE(CliPrinted("Mill: failed log " + pipe + ": ")) << CliOutput();
    ASSERT_TRUE(CliPrinted("Lathe: serving COM1")) << CliOutput();
    Sim("send " + Write("p.nc", "O1\nM30\n"), "sent program");
    EXPECT_TRUE(CliPrinted("Lathe: stored ")) << CliOutput();
    LogSays("Lathe", "File receiving completed");

    const double took = Terminate();
    std::cout << "serve ended " << took << " s after SIGTERM\n";
    EXPECT_LT(took, 5.0);
    EXPECT_TRUE(IsKind(pipe, S_IFIFO));
}

}  // namespace
}  // namespace quorlin::e2e
