// quorlin-cli serve against a controller that punches several programs at
// once, each ended by its SUB and the next following at once on the line.

#include <filesystem>
#include <fstream>

#include "tests/e2e/TransferFixture.h"

namespace quorlin::e2e {
namespace {

namespace fs = std::filesystem;

// A bare LF as CR LF, a CR LF as it is: how a received program is stored.
Bytes AsStored(const Bytes& sent) {
    Bytes stored;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (sent[i] == '\n' && (i == 0 || sent[i - 1] != '\r')) stored += '\r';
        stored += sent[i];
    }
    return stored;
}

class ServeBackToBack : public TransferFixture, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        lineOptions_ = false;
        fs::create_directories(folder_ + "/config/Morvale CNC");
        fs::create_directories(in_);
        std::ofstream(folder_ + "/config/Morvale CNC/Quorlin.conf")
            << "[Prop]\nCommPort=0\nSysType=1\n\n[Machine.Lathe]\nPort=COM1\nFamily=" << GetParam() << "\nReceiveFolder=" << in_
            << "\nLogFile=" << folder_ << "/Lathe.log\n";
    }
    std::string Event(const std::string& text) {
        const auto line = session_.WaitForLine(*cli_, text, cliSeen_, After(std::chrono::seconds(30)));
        EXPECT_TRUE(line) << "no event \"" << text << "\"\n" << CliOutput();
        return line.value_or("");
    }

    const std::string in_ = folder_ + "/in";
    std::size_t cliSeen_ = 0;
};

// At 9600 baud the next program's first byte follows the SUB within about a
// millisecond: it must neither end up in the program before nor be lost
// while the next receive begins.
TEST_P(ServeBackToBack, ThreeProgramsPunchedAtOnceAreEachStoredWholeUnderTheirNumbers) {
    StartSim(GetParam(), {"--pace"});
    StartCli({"serve", "--retry-ms", "100"});
    Event("Lathe: serving COM1");

    const Bytes first = "%\nO1001 (FIRST)\n" + LongProgram(40) + "M30\n%\n";
    const Bytes second = "%\r\nO1002 (LINES END IN CR LF)\r\nN1G01X1\r\nN2G01X2\r\nM30\r\n%\r\n";
    const Bytes third = "%\nO1003\nN1G00X0\r\nN2G01X9\nM30\n%\n";
    Sim("send-all " + Write("first.nc", first) + " " + Write("second.nc", second) + " " + Write("third.nc", third),
        "sending program");
    SimReports("sent program", After(std::chrono::seconds(60)));

    for (const auto& [number, sent] : {std::pair{"O1001", first}, {"O1002", second}, {"O1003", third}}) {
        const std::string path = in_ + "/" + number + ".nc";
        EXPECT_EQ(Event("Lathe: stored "),
                  "Lathe: stored " + path + " (" + std::to_string(AsStored(sent).size()) + " bytes)");
        EXPECT_EQ(Read(path), AsStored(sent)) << number;
    }
    // Nothing else was kept: no program without its number, no partial one.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(in_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".receiving-Lathe.nc", ".serve-Lathe.lock", "O1001.nc", "O1002.nc", "O1003.nc"}));
}

INSTANTIATE_TEST_SUITE_P(EchoBlockAndXon, ServeBackToBack, ::testing::Values(0, 1, 4),
                         [](const auto& info) { return "family" + std::to_string(info.param); });

}  // namespace
}  // namespace quorlin::e2e
