// bench_transfer: how well quorlin-cli keeps the line busy.
//   Block send, Xon send, block download: quorlin-sim paced at 115200 baud
//   takes the bytes no faster than the line would; line use is the line
//   time of the bytes it took over the time from the first to the last one
//   (target: at least 99 %).
//   Echo send: characters per second on an unpaced pty, against a bare echo
//   loop over a pty (target: at most 1.5 times its time per character).
// Usage: bench_transfer [--runs N] [--only block|xon|download|echo]

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bench/transfer/EchoBaseline.h"
#include "tests/support/Process.h"

extern char** environ;

namespace {

using quorlin::e2e::After;
using quorlin::e2e::Process;
using quorlin::e2e::Session;

struct Stage {
    std::string folder;
    std::vector<std::string> env;
};

Stage MakeStage() {
    char pattern[] = "/tmp/quorlin-bench.XXXXXX";
    Stage stage;
    stage.folder = mkdtemp(pattern);
    std::filesystem::create_directories(stage.folder + "/ports");
    std::filesystem::create_directories(stage.folder + "/store");
    for (char** e = environ; *e; ++e) {
        const std::string item = *e;
        if (item.rfind("QUORLIN_PORTS=", 0) && item.rfind("XDG_CONFIG_HOME=", 0)) stage.env.push_back(item);
    }
    stage.env.push_back("QUORLIN_PORTS=" + stage.folder + "/ports");
    stage.env.push_back("XDG_CONFIG_HOME=" + stage.folder);
    return stage;
}

long long Field(const std::string& line, const std::string& key) {
    const auto at = line.find(" " + key + " ");
    return at == std::string::npos ? -1 : std::atoll(line.c_str() + at + key.size() + 2);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Write(const Stage& stage, const std::string& name, const std::string& bytes) {
    const std::string path = stage.folder + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string Program(std::size_t lines) {
    std::string text;
    for (std::size_t i = 1; i <= lines; ++i) text += "N" + std::to_string(i) + "G01X" + std::to_string(i % 977) + "Y5F300\n";
    return text;
}

std::string UpdateFile(std::size_t payloadBytes) {
    std::string payload(payloadBytes, '\0');
    std::uint32_t sum = 0;
    unsigned state = 7;
    for (auto& b : payload) {
        state = state * 1103515245u + 12345u;
        b = static_cast<char>(state >> 16);
        sum += static_cast<unsigned char>(b);
    }
    std::string header(22, '\0');
    header[0] = '%';
    header[1] = 'Q';
    header[2] = 'Z';
    for (int i = 0; i < 4; ++i) {
        header[14 + i] = static_cast<char>(sum >> (8 * i));
        header[18 + i] = static_cast<char>(payloadBytes >> (8 * i));
    }
    return header + payload;
}

// One transfer against a fresh simulator; the simulator's report line that
// ends it, or empty when something failed.
std::string RunOnce(const Stage& stage, int family, const std::vector<std::string>& simExtra,
                    const std::vector<std::string>& simCommands, const std::vector<std::string>& cliArgs,
                    const std::string& endReport, bool xonTake) {
    std::vector<std::string> simArgv{QUORLIN_SIM_PATH, "--family", std::to_string(family), "--store",
                                     stage.folder + "/store"};
    simArgv.insert(simArgv.end(), simExtra.begin(), simExtra.end());
    Process sim(simArgv, stage.env, "sim");
    Session session;
    session.Add(sim);
    std::size_t seen = 0;
    if (!session.WaitForLine(sim, "ready", seen, After())) return "";
    for (const auto& command : simCommands) sim.WriteLine(command);
    std::vector<std::string> cliArgv{QUORLIN_CLI_PATH};
    cliArgv.insert(cliArgv.end(), cliArgs.begin(), cliArgs.end());
    cliArgv.insert(cliArgv.end(), {"--port", "1", "--family", std::to_string(family)});
    Process cli(cliArgv, stage.env, "cli");
    session.Add(cli);
    if (xonTake) {
        session.WaitUntil([&] { return cli.Out().find("Begin to send file") != std::string::npos; }, After());
        sim.WriteLine("await pc-handshake none");
        session.WaitForLine(sim, "pc-handshake none", seen, After());
        sim.WriteLine("take");
    }
    // A program whose end the tool's closing of the port threw away is
    // still a measure of how busy the tool kept the line until then.
    std::optional<std::string> line;
    session.WaitUntil(
        [&] {
            for (const char* report : {endReport.c_str(), "program abandoned"}) {
                std::size_t from = seen;
                if (auto found = session.WaitForLine(sim, report, from, std::chrono::steady_clock::now())) {
                    line = found;
                    if (std::string(report) != endReport)
                        std::fprintf(stderr, "note: the program's end was lost (%s)\n", found->c_str());
                    return true;
                }
            }
            return false;
        },
        After(std::chrono::seconds(120)));
    session.WaitForExit(cli, After());
    sim.WriteLine("quit");
    sim.CloseInput();
    session.WaitForExit(sim, After());
    if (!line || cli.ExitStatus() != 0) {
        std::fprintf(stderr, "run failed (cli exit %d):\n%s\n%s\n", cli.ExitStatus(), sim.Out().c_str(),
                     cli.Err().c_str());
        return "";
    }
    return *line;
}

// Line use of one paced transfer: bytes taken * character time / elapsed.
double LineUse(const std::string& report, double bitsPerChar) {
    const double received = static_cast<double>(Field(report, "received"));
    const double elapsedUs = static_cast<double>(Field(report, "elapsed-us"));
    if (received <= 0 || elapsedUs <= 0) return 0;
    return received * bitsPerChar / 115200.0 / (elapsedUs / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) runs = std::atoi(argv[++i]);
        else if (a == "--only" && i + 1 < argc) only = argv[++i];
        else {
            std::fprintf(stderr, "usage: bench_transfer [--runs N] [--only block|xon|download|echo]\n");
            return 2;
        }
    }
    const Stage stage = MakeStage();
    const std::string program = Write(stage, "program.nc", Program(6000));  // about 110 KB
    const std::string image = Write(stage, "system.bin", UpdateFile(8 * 32768));

    if (only.empty() || only == "block") {
        std::vector<double> uses;
        for (int r = 0; r < runs; ++r) {
            const auto report = RunOnce(stage, 1, {"--pace", "--line", "115200,o,7,1"}, {}, {"send", program},
                                        "stored program", false);
            if (!report.empty()) uses.push_back(LineUse(report, 10));
        }
        std::printf("Block send, 115200 7O1:   median line use %.2f %% (%zu runs)\n", 100 * Median(uses), uses.size());
    }
    if (only.empty() || only == "xon") {
        std::vector<double> uses;
        for (int r = 0; r < runs; ++r) {
            const auto report = RunOnce(stage, 4, {"--pace", "--line", "115200,o,7,1"}, {}, {"send", program},
                                        "stored program", true);
            if (!report.empty()) uses.push_back(LineUse(report, 10));
        }
        std::printf("Xon send, 115200 7O1:     median line use %.2f %% (%zu runs)\n", 100 * Median(uses), uses.size());
    }
    if (only.empty() || only == "download") {
        std::vector<double> uses;
        for (int r = 0; r < runs; ++r) {
            const auto report = RunOnce(stage, 3, {"--pace", "--baud-index", "1"},
                                        {"expect download blocks answer 11"},
                                        {"download", "--kind", "3", "--baud-index", "1", image}, "stored download",
                                        false);
            if (!report.empty()) uses.push_back(LineUse(report, 11));
        }
        std::printf("Block download, 115200 8O1: median line use %.2f %% (%zu runs)\n", 100 * Median(uses),
                    uses.size());
    }
    if (only.empty() || only == "echo") {
        const std::string echoProgram = Write(stage, "echo.nc", Program(400));  // about 7000 characters
        std::vector<double> cliNanos, bareNanos;
        for (int r = 0; r < runs; ++r) {
            const auto report = RunOnce(stage, 0, {}, {}, {"send", echoProgram}, "stored program", false);
            const double received = static_cast<double>(Field(report, "received"));
            const double elapsedUs = static_cast<double>(Field(report, "elapsed-us"));
            if (received > 0) cliNanos.push_back(elapsedUs * 1000 / received);
            bareNanos.push_back(quorlin::bench::BareEchoNanosPerChar(static_cast<int>(received > 0 ? received : 7000)));
        }
        const double cli = Median(cliNanos);
        const double bare = Median(bareNanos);
        std::printf("Echo send, unpaced pty: median %.0f chars/s (%.1f us/char); bare echo loop %.0f chars/s "
                    "(%.1f us/char); ratio %.2f\n",
                    1e9 / cli, cli / 1000, 1e9 / bare, bare / 1000, cli / bare);
    }
    std::filesystem::remove_all(stage.folder);
    return 0;
}
