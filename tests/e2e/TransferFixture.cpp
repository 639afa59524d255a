#include "tests/e2e/TransferFixture.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>


namespace quorlin::e2e {

namespace fs = std::filesystem;

namespace {

void PutLittleEndian(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t Sum(const Bytes& bytes, std::size_t from = 0) {
    std::uint32_t sum = 0;
    for (std::size_t i = from; i < bytes.size(); ++i) sum += static_cast<unsigned char>(bytes[i]);
    return sum;
}

// A sanitizer's report in a child's error output fails the test: the child
// itself may still have ended as expected.
void ExpectNoSanitizerReport(const Process& process) {
    for (const char* mark : {"ThreadSanitizer", "AddressSanitizer", "LeakSanitizer", "runtime error:"})
        EXPECT_EQ(process.Err().find(mark), std::string::npos) << process.Name() << ":\n" << process.Err();
}

}  // namespace

void TransferFixture::SetUp() {
    fs::create_directories(folder_ + "/ports");
    fs::create_directories(folder_ + "/config");
    fs::create_directories(folder_ + "/store");
}

void TransferFixture::TearDown() {
    if (cli_) {
        ExpectNoSanitizerReport(*cli_);
        session_.Remove(*cli_);
        cli_.reset();
    }
    if (sim_) {
        sim_->WriteLine("quit");
        sim_->CloseInput();
        session_.WaitForExit(*sim_, After());
        ExpectNoSanitizerReport(*sim_);
        session_.Remove(*sim_);
        sim_.reset();
    }
}

void TransferFixture::StartSim(int family, const std::vector<std::string>& extra) {
    family_ = family;
    std::vector<std::string> argv{QUORLIN_SIM_PATH, "--family", std::to_string(family), "--com", "1",
                                  "--store", folder_ + "/store"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    sim_ = std::make_unique<Process>(argv, IsolatedEnvironment(folder_), "quorlin-sim");
    ASSERT_TRUE(sim_->Started());
    session_.Add(*sim_);
    ASSERT_FALSE(SimReports("ready COM1").empty()) << sim_->Err();
}

std::string TransferFixture::SimReports(const std::string& text, Deadline deadline) {
    const auto line = session_.WaitForLine(*sim_, text, simSeen_, deadline);
    EXPECT_TRUE(line) << "quorlin-sim did not report \"" << text << "\"; it reported:\n"
                      << sim_->Out().substr(0, 4000) << "\n" << CliOutput();
    return line.value_or("");
}

std::string TransferFixture::Sim(const std::string& command, const std::string& answer) {
    sim_->WriteLine(command);
    return SimReports(answer);
}

Process& TransferFixture::StartCli(const std::vector<std::string>& args) {
    if (cli_) {
        ExpectNoSanitizerReport(*cli_);
        session_.Remove(*cli_);
    }
    std::vector<std::string> argv = cliWrapper_;
    argv.push_back(QUORLIN_CLI_PATH);
    argv.insert(argv.end(), args.begin(), args.end());
    if (lineOptions_) argv.insert(argv.end(), {"--port", "1", "--family", std::to_string(family_)});
    argv.insert(argv.end(), extraCliOptions_.begin(), extraCliOptions_.end());
    cli_ = std::make_unique<Process>(argv, IsolatedEnvironment(folder_), "quorlin-cli");
    EXPECT_TRUE(cli_->Started());
    session_.Add(*cli_);
    return *cli_;
}

int TransferFixture::WaitCli(Deadline deadline) {
    if (!session_.WaitForExit(*cli_, deadline)) {
        ADD_FAILURE() << "quorlin-cli did not end in time\n" << CliOutput();
        return -1;
    }
    return cli_->ExitStatus();
}

int TransferFixture::RunCli(const std::vector<std::string>& args) {
    StartCli(args);
    return WaitCli();
}

bool TransferFixture::CliPrinted(const std::string& text, Deadline deadline) {
    return session_.WaitUntil([&] { return cli_->Out().find(text) != std::string::npos; }, deadline);
}

void TransferFixture::WaitUntilReceiving() {
    ASSERT_TRUE(CliPrinted("Begin to receive file\r\n")) << CliOutput();
    if (family_ == 4) Sim("await pc-handshake none", "pc-handshake none");
}

std::string TransferFixture::CliOutput() const {
    if (!cli_) return "";
    return "quorlin-cli stdout:\n" + cli_->Out().substr(0, 3000) + "\nquorlin-cli stderr:\n" +
           cli_->Err().substr(0, 3000);
}

std::string TransferFixture::Write(const std::string& name, const Bytes& bytes) {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

Bytes TransferFixture::Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

std::string TransferFixture::StoredPath(const std::string& reportLine) {
    std::istringstream words(reportLine);
    std::string stored, what, path;
    words >> stored >> what >> path;
    return path;
}

long long TransferFixture::Field(const std::string& reportLine, const std::string& key) {
    const std::size_t at = reportLine.find(" " + key + " ");
    if (at == std::string::npos) return -1;
    return std::atoll(reportLine.c_str() + at + key.size() + 2);
}

Bytes UpdateFile(const Bytes& payload) {
    Bytes file(22, '\0');
    file[0] = '%';
    file[1] = 'Q';
    file[2] = 'Z';
    PutLittleEndian(file, 14, Sum(payload));
    PutLittleEndian(file, 18, static_cast<std::uint32_t>(payload.size()));
    return file + payload;
}

Bytes PictureBitmap(std::size_t pixelBytes) {
    Bytes file(1078, '\0');
    file[0] = 'B';
    file[1] = 'M';
    PutLittleEndian(file, 2, static_cast<std::uint32_t>(1078 + pixelBytes));
    PutLittleEndian(file, 10, 1078);
    PutLittleEndian(file, 14, 40);
    PutLittleEndian(file, 18, 256);  // width
    PutLittleEndian(file, 22, static_cast<std::uint32_t>(pixelBytes / 256));
    file[26] = 1;
    file[28] = 8;
    for (std::size_t i = 0; i < 256; ++i) {  // a grey palette
        file[54 + 4 * i] = file[55 + 4 * i] = file[56 + 4 * i] = static_cast<char>(i);
    }
    return file + Pattern(pixelBytes, 5);
}

Bytes Pattern(std::size_t count, unsigned seed) {
    Bytes bytes(count, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return bytes;
}

Bytes LongProgram(std::size_t lines) {
    Bytes text;
    for (std::size_t i = 1; i <= lines; ++i) text += "N" + std::to_string(i) + "G01X" + std::to_string(i % 500) + "Y7\n";
    return text;
}

}  // namespace quorlin::e2e
