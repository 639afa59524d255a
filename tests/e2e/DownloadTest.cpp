// Every download kind each family offers: plain streams arrive whole, block
// downloads arrive in checked blocks with a good verdict.

#include "tests/e2e/TransferFixture.h"

namespace quorlin::e2e {
namespace {

struct Offer {
    int family;
    int kind;
    int baudIndex;
    unsigned baud;  // what the PC must set for this download
};

class Download : public TransferFixture, public ::testing::WithParamInterface<Offer> {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        extraCliOptions_ = {"--baud-index", std::to_string(GetParam().baudIndex)};
        StartSim(GetParam().family, {"--baud-index", std::to_string(GetParam().baudIndex)});
    }

    bool Blocks() const { return GetParam().kind >= 3; }

    // The image and the bytes of it that go on the line.
    void MakeImage(std::size_t dataBytes, Bytes& file, Bytes& sent) const {
        if (GetParam().kind == 4) {
            file = PictureBitmap(dataBytes);
            sent = file.substr(1078);
        } else if (Blocks()) {
            sent = Pattern(dataBytes, 11);
            file = UpdateFile(sent);
        } else {
            file = sent = Pattern(dataBytes, 12);
        }
    }
};

// 40000 bytes: a whole block and a short last one, which the controller must
// get zero-filled, so that the sums agree and the verdict is 1.
TEST_P(Download, ImageArrivesWholeWithAGoodVerdict) {
    Bytes file, sent;
    MakeImage(40000, file, sent);
    const std::string path = Write("image.bin", file);
    Sim(Blocks() ? "expect download blocks answer 11" : "expect download stream", "expecting download");
    StartCli({"download", "--kind", std::to_string(GetParam().kind), path});
    const std::string started = SimReports("download started");
    EXPECT_EQ(Field(started, "pc-baud"), GetParam().baud);
    if (Blocks()) {
        EXPECT_NE(SimReports("download block 1 ").find(" ok"), std::string::npos);
        EXPECT_FALSE(SimReports("download verdict 0 after block 1").empty());
        EXPECT_NE(SimReports("download block 2 ").find(" ok"), std::string::npos);
        EXPECT_FALSE(SimReports("download verdict 1 after block 2").empty());
    }
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    const std::string stored = SimReports("stored download");
    Bytes expected = sent;
    if (Blocks()) expected.resize(2 * 32768, '\0');
    EXPECT_EQ(Read(StoredPath(stored)), expected);
    EXPECT_NE(cli_->Out().find("   Begin to send file\r\n"), std::string::npos) << CliOutput();
    EXPECT_NE(cli_->Out().find("   File sending completed\r\n"), std::string::npos) << CliOutput();
    // The proof of delivery after the end line.
    const std::string summary = Blocks() ? ": 65576 bytes sent, 2 blocks, verdict 1 in " : ": 40000 bytes sent in ";
    EXPECT_NE(cli_->Out().find(path + summary), std::string::npos) << CliOutput();
}

INSTANTIATE_TEST_SUITE_P(EveryOffer, Download,
                         ::testing::Values(Offer{0, 1, 0, 9600}, Offer{0, 3, 0, 9600}, Offer{1, 1, 0, 9600},
                                           Offer{1, 3, 0, 9600}, Offer{2, 2, 0, 19200}, Offer{3, 3, 0, 9600},
                                           Offer{3, 4, 0, 9600}, Offer{3, 5, 0, 9600}, Offer{3, 3, 1, 115200},
                                           Offer{3, 4, 1, 115200}, Offer{3, 5, 1, 115200}, Offer{4, 3, 1, 9600},
                                           Offer{4, 4, 0, 9600}, Offer{4, 5, 0, 9600}),
                         [](const auto& info) {
                             return "family" + std::to_string(info.param.family) + "_kind" +
                                    std::to_string(info.param.kind) + "_" + std::to_string(info.param.baud);
                         });

class DownloadAnswers : public TransferFixture {
protected:
    // A kind 3 download of blocks blocks of 32 KiB to a family's controller
    // that was told expect first; the payload it carried.
    Bytes DownloadBlocks(int family, int blocks, unsigned seed, const std::string& expect) {
        StartSim(family);
        const Bytes payload = Pattern(static_cast<size_t>(blocks) * 32768, seed);
        const std::string path = Write("system.bin", UpdateFile(payload));
        Sim(expect, "expecting download");
        StartCli({"download", "--kind", "3", path});
        EXPECT_EQ(WaitCli(), 0) << CliOutput();
        return payload;
    }
};

// The controller's answer 0x10 after noise, written in two parts: the PC
// still finds it and goes on without a verdict.
TEST_F(DownloadAnswers, AnswerAfterNoiseAndSplitStillDrivesTheBlocks) {
    const Bytes payload = DownloadBlocks(3, 3, 4, "expect download blocks answer 10 noise 00FF5A41 split");
    const std::string stored = SimReports("stored download");
    EXPECT_EQ(Field(stored, "blocks"), 3);
    EXPECT_EQ(Read(StoredPath(stored)), payload);
    EXPECT_EQ(sim_->Out().find("verdict"), std::string::npos) << sim_->Out();
    EXPECT_EQ(sim_->Out().find(" bad"), std::string::npos) << sim_->Out();
}

// Noise whose last byte is 'Z' runs into the answer's "ZZ": the download
// still goes on (it once waited for ever after the first block).
TEST_F(DownloadAnswers, AnswerBehindNoiseEndingInZStillDrivesTheBlocks) {
    const Bytes payload = DownloadBlocks(4, 2, 6, "expect download blocks answer 11 noise E5375A");
    EXPECT_FALSE(SimReports("download verdict 1 after block 2").empty());
    const std::string stored = SimReports("stored download");
    EXPECT_EQ(Read(StoredPath(stored)), payload);
}

TEST_F(DownloadAnswers, DamagedImageIsRefusedBeforeAnythingIsSent) {
    StartSim(3);
    Bytes file = UpdateFile(Pattern(1000, 2));
    file[500] ^= 0x01;
    Sim("expect download blocks", "expecting download");
    EXPECT_EQ(RunCli({"download", "--kind", "3", Write("bad.bin", file)}), 1) << CliOutput();
    EXPECT_NE(cli_->Err().find("This file is not a file for system update or is damaged!"), std::string::npos)
        << CliOutput();
    EXPECT_NE(Sim("status", "status").find(" rx 0 "), std::string::npos);
}

}  // namespace
}  // namespace quorlin::e2e
