// Machine profiles: quorlin-cli takes a machine's line and folders from the
// profile and runs a transfer with them against the controller on a pty.

#include <filesystem>
#include <fstream>

#include "tests/e2e/TransferFixture.h"
#include "tests/support/SerialTestSupport.h"

namespace quorlin::e2e {
namespace {

class Machines : public TransferFixture {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        StartSim(1);
        lineOptions_ = false;
        std::filesystem::create_directories(folder_ + "/config/Morvale CNC");
        for (const char* sub : {"/a", "/b", "/in"}) std::filesystem::create_directories(folder_ + sub);
        // The port by its device path (the link the port map names COM1), a
        // machine on the network, and one whose address names no port.
        std::ofstream(folder_ + "/config/Morvale CNC/Quorlin.conf")
            << "[Prop]\nCommPort=0\nSysType=4\n\n"
            << "[Machine.Lathe1]\nPort=" << folder_ << "/ports/COM1\nFamily=1\n"
            << "ReceiveFolder=" << folder_ << "/in\nSendFolders=" << folder_ << "/a, " << folder_ << "/b\n\n"
            << "[Machine.Net]\nPort=tcp://10.0.0.5:4001\nFamily=1\n\n"
            << "[Machine.Mill2]\nPort=rfc2217://mill2-server\nFamily=3\n";
    }
};

TEST_F(Machines, AMachineGivesTheLineAndItsFoldersCompleteABareName) {
    EXPECT_EQ(RunCli({"machines"}), 1) << CliOutput();
    EXPECT_EQ(cli_->Out(), "Lathe1\t" + folder_ + "/ports/COM1 (COM1)\tfamily 1\t9600 baud\t" + folder_ + "/in\t" +
                               folder_ + "/a; " + folder_ + "/b\n" +
                               "Net\ttcp://10.0.0.5:4001 (COM1000)\tfamily 1\t9600 baud\t-\t-\n")
        << CliOutput();
    EXPECT_NE(cli_->Err().find("machine Mill2: the network port rfc2217://mill2-server names no HOST:PORT"),
              std::string::npos)
        << CliOutput();

    // Found in the second send folder; sent with the machine's family.
    Write("b/part.nc", "n1 g01 x1\r\nm30\r\n");
    StartCli({"send", "--machine", "Lathe1", "part.nc"});
    const std::string stored = SimReports("stored program");
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    EXPECT_EQ(Read(StoredPath(stored)), "N1G01X1\nM30\n\n");
    EXPECT_NE(cli_->Out().find(folder_ + "/b/part.nc: "), std::string::npos) << CliOutput();

    // Received into the receive folder.
    StartCli({"receive", "--machine", "Lathe1", "back.nc"});
    WaitUntilReceiving();
    Sim("send " + Write("controller.nc", "N1M30\n"), "sending program");
    SimReports("sent program");
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    EXPECT_EQ(Read(folder_ + "/in/back.nc"), "N1M30\r\n");

    // Refusals name what to mend.
    EXPECT_EQ(RunCli({"send", "--machine", "Lathe1", "missing.nc"}), 1) << CliOutput();
    EXPECT_NE(cli_->Err().find("missing.nc is in none of the send folders of machine Lathe1: " + folder_ + "/a, "),
              std::string::npos)
        << CliOutput();
    EXPECT_EQ(RunCli({"send", "--machine", "Mill2", "part.nc"}), 2) << CliOutput();
    EXPECT_NE(cli_->Err().find("names no HOST:PORT"), std::string::npos) << CliOutput();
    EXPECT_EQ(RunCli({"send", "--machine", "Mill", "part.nc"}), 2) << CliOutput();
    EXPECT_NE(cli_->Err().find("no machine Mill in the profile"), std::string::npos) << CliOutput();
    EXPECT_EQ(RunCli({"send", "--machine", "Lathe1", "--family", "0", "part.nc"}), 2) << CliOutput();
}


// The stored "CommPort" is a place in the probed list, kept beside the port
// number it was chosen for. A port that appears in front of the chosen one
// moves the places; the tool still takes the chosen port.
TEST_F(TransferFixture, TheChosenPortIsTakenWhenAPortAppearsInFrontOfIt) {
    StartSim(1);
    lineOptions_ = false;
    // The controller's line as COM3, chosen when it was the only port: place 0.
    std::filesystem::rename(folder_ + "/ports/COM1", folder_ + "/ports/COM3");
    std::filesystem::create_directories(folder_ + "/config/Morvale CNC");
    std::ofstream(folder_ + "/config/Morvale CNC/Quorlin.conf") << "[Prop]\nCommPort=0\nSysType=1\n\n"
                                                                 << "[ChosenPort]\nNumber=3\n";
    // Another controller's line, now COM1: the first place.
    test::PtyPair other;
    ASSERT_TRUE(other.IsValid());
    std::filesystem::create_symlink(other.SlavePath(), folder_ + "/ports/COM1");

    EXPECT_EQ(RunCli({"ports"}), 0) << CliOutput();
    EXPECT_EQ(cli_->Out(), "COM1\t" + other.SlavePath() + "\nCOM3\t" +
                               std::filesystem::canonical(folder_ + "/ports/COM3").string() + " *\n")
        << CliOutput();

    StartCli({"send", Write("part.nc", "N1G01X1\r\nM30\r\n")});
    const std::string stored = SimReports("stored program");
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    EXPECT_EQ(Read(StoredPath(stored)), "N1G01X1\nM30\n\n");
    EXPECT_EQ(other.ReadAvailable(), "");
}

}  // namespace
}  // namespace quorlin::e2e
