// quorlin-cli serve against controllers on ptys: programs stored under their
// numbers, requests answered, a lost port taken back, the signals, and four
// machines served at once by the one process.

#include <signal.h>

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
    // The waiting receive's file, the program, its older version, the one without a number.
    ASSERT_EQ(names.size(), 4u) << CliOutput();
    EXPECT_EQ(names[0], ".receiving-Lathe.nc");
    EXPECT_EQ(names[1].substr(0, 6), "O1234.");
    EXPECT_EQ(names[1].size(), std::string("O1234.20260101-120000.nc").size());
    EXPECT_EQ(Read(in + "/" + names[1]), "%\r\nO1234 (SHAFT)\r\nN1G01X1\r\nM30\r\n%\r\n");
    EXPECT_EQ(names[2], "O1234.nc");
    EXPECT_EQ(Read(in + "/" + names[3]), "N1G01X3\r\nM30\r\n");
    EXPECT_NE(bare.find(names[3]), std::string::npos);
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
    EXPECT_EQ(Names("Lathe/in"), (std::vector<std::string>{".receiving-Lathe.nc", "O5.nc"}));
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
    ASSERT_EQ(names.size(), 1u) << CliOutput();
    EXPECT_NE(names[0].find(".partial.nc"), std::string::npos);
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

}  // namespace
}  // namespace quorlin::e2e
