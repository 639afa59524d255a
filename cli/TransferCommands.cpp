// quorlin-cli send, receive, download and ports: the transfer engine hosted
// on the command line.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "cli/ArgParser.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/FileRefusal.h"
#include "cli/TransferHostCli.h"
#include "cli/TransferProfile.h"
#include "nc/NcTools.h"
#include "nc/ResumePoint.h"
#include "serial/PortMap.h"
#include "serial/ProbePorts.h"
#include "serial/SerialDevice.h"
#include "transfer/PortChoice.h"
#include "transfer/SerialTransferPort.h"
#include "transfer/SystemType.h"
#include "transfer/TransferEngine.h"

namespace quorlin::cli {

namespace {

constexpr int kExitCompleted = 0;
constexpr int kExitError = 1;
constexpr int kExitIdleTimeout = 3;
constexpr int kExitCancelled = 130;

// The help every transfer command ends with; this system's port naming and
// the keys that cancel go between its parts.
const char* const kCommonHelpHead =
    "FILE must be a regular file (for receive: one that does not exist yet, or a regular\n"
    "file, which is replaced only once the program has arrived whole; until then it is\n"
    "received beside it as NAME.partial.EXT, which stays when the receive does not\n"
    "complete). A named pipe, a device or a folder is refused before the port is opened.\n"
    "\n"
    "Line options (left out, they come from the profile \"Morvale CNC\"/\"Quorlin\", group\n"
    "\"Prop\", keys CommPort, SysType, BaudRate, and the port probe, as in the application):\n"
    "  --port N            port number N, ";
const char* const kCommonHelpMiddle =
    "\n"
    "  --family 0..4       controller family: 0 Echo, 1-3 Block, 4 Xon protocol\n"
    "  --baud-index 0|1    the family's baud choice (family 3: 115200, family 4: 19200)\n"
    "  --machine NAME      the port, family and baud choice of the machine profile NAME\n"
    "                      ('quorlin-cli machines'); a FILE without a folder is taken\n"
    "                      from the first of its send folders that holds it, and a\n"
    "                      received FILE without a folder goes to its receive folder\n"
    "  --idle-timeout S    give up after S seconds in which nothing moved on the line (no\n"
    "                      byte handed to the port or stored from it, the port's output\n"
    "                      queue not draining, and the line time of what was handed\n"
    "                      over passed); 0, the default: never. The transfer is\n"
    "                      cancelled as by Ctrl+C and exits with 3\n"
    "\n"
    "Output: standard output carries, as it comes, every piece of text the application's\n"
    "log view is given, in order (lines end in CR LF; each transfer opens with an empty\n"
    "line, a \"YYYY MM DD, HH:MM:SS\" timestamp, three blanks and the start message, then\n"
    "what is received (each piece read up to its first NUL), then a timestamp line with\n"
    "the end message, then one line with the file, the bytes carried (for a block download\n"
    "also the blocks and the verdict), the time and the rate). Nothing is dropped from it:\n"
    "the view itself removes its first 10000 characters whenever it holds more than 64000\n"
    "before an append, so for a log longer than that the view holds only the tail of what\n"
    "is printed here. The log never holds the transfer up: while nobody reads standard\n"
    "output (a pager waiting for a key), up to 16 MiB of it wait and the rest is dropped,\n"
    "with a note on standard error; once its reader has gone (| head), it is dropped and\n"
    "the transfer goes on. Message boxes go to standard error as \"Caption: text\"; when\n"
    "the port or the file cannot be opened, a second line says why and what to do. A\n"
    "progress bar is drawn on standard error only when it is a terminal. ";
const char* const kCommonHelpTail =
    " cancels as the progress window's\n"
    "Cancel does. Bytes the controller is still owed (the end of a completed transfer, a\n"
    "cancelled receive's SUB) are sent before the tool ends, waiting at most about 3 s\n"
    "past their line time while the controller holds the line; a second Ctrl+C ends it\n"
    "at once. After a cancelled send or download nothing more is owed.\n"
    "End messages: \"File sending completed\", \"File receiving completed\", \"File sending\n"
    "cancelled\", \"File receiving cancelled\", and, with an error message, \"Transfer\n"
    "stopped: the serial port was lost\", \"Transfer stopped: the serial port did not take\n"
    "the data\", \"File receiving stopped: the file could not be written\", \"File sending\n"
    "stopped: the file could not be read\", \"File sending stopped by the controller (DC3)\",\n"
    "\"File sending failed: the controller's check did not match\".\n"
    "\n"
    "Exit status: 0 completed, 1 error (message on standard error), 2 usage,\n"
    "3 idle time-out, 130 cancelled.\n";

void PrintCommonHelp() {
    std::printf("%s%s%s%s%s", kCommonHelpHead, kPortNamingText, kCommonHelpMiddle, kCancelKeysText, kCommonHelpTail);
}

const std::vector<OptionSpec> kLineOptions = {
    {"port", true}, {"family", true}, {"baud-index", true}, {"idle-timeout", true}, {"machine", true}};

int Usage(const char* command, const std::string& reason) {
    std::fprintf(stderr, "quorlin-cli %s: %s (try --help)\n", command, reason.c_str());
    return kExitUsage;
}

struct LineChoice {
    CommSettings settings;
    long idleSeconds = 0;
    bool probePorts = false;  // no --port: the port list comes from the probe
    std::optional<Machine> machine;  // --machine: its line and folders
};

// The machine of --machine, or why there is none.
std::optional<std::string> ChooseMachine(const std::string& name, LineChoice& choice) {
    const MachineList list = LoadMachines();
    for (const Machine& machine : list.machines)
        if (machine.name == name) {
            choice.machine = machine;
            return std::nullopt;
        }
    for (const std::string& refused : list.refused)
        if (refused.rfind(name + ": ", 0) == 0) return "machine " + refused;
    return "no machine " + name + " in the profile ('quorlin-cli machines' lists them)";
}

// The settings of the profile, overridden by the options. Without --port the
// port list is to be probed as the application does (ProbeLine), once
// everything else was checked: the probe opens ports.
std::optional<std::string> ChooseLine(const ParsedArgs& args, LineChoice& choice) {
    CommSettings& s = choice.settings;
    LoadProfileSettings(s);
    if (auto name = args.Value("machine")) {
        if (args.Has("port") || args.Has("family") || args.Has("baud-index"))
            return "--machine sets the port, family and baud: leave out --port, --family and --baud-index";
        if (auto why = ChooseMachine(*name, choice)) return why;
        UseMachineLine(*choice.machine, s);
    }
    if (auto text = args.Value("family")) {
        auto value = ParseNumber(*text, 0, static_cast<long>(ControllerFamilies().size()) - 1);
        if (!value) return "--family takes 0 to 4";
        s.sysType = static_cast<int32_t>(*value);
    }
    if (auto text = args.Value("baud-index")) {
        auto value = ParseNumber(*text, 0, 1);
        if (!value) return "--baud-index takes 0 or 1";
        s.baudRate = static_cast<int32_t>(*value);
    }
    s.baud = s.BaudForIndex(s.baudRate);
    if (auto text = args.Value("idle-timeout")) {
        auto value = ParseNumber(*text, 0, 24L * 3600);
        if (!value) return "--idle-timeout takes whole seconds, 0 to 86400";
        choice.idleSeconds = *value;
    }
    if (choice.machine) {
        // the machine's port, set above
    } else if (auto text = args.Value("port")) {
        auto value = ParseNumber(*text, 0, static_cast<long>(kHighestPortNumber));
        if (!value) return "--port takes a port number 0 to 254";
        s.portList = {static_cast<int32_t>(*value), 0, 0, 0, 0};
        s.commPort = 0;
    } else {
        choice.probePorts = true;
    }
    return std::nullopt;
}

// The probed ports and the stored place in them. The place is checked
// against the port it was chosen for: a port that appeared or went since
// then moves the places, and the place alone would name another machine's
// port. The chosen port is offered even when the probe could not open it
// (the desktop program may hold it), so that its open fails with its own
// name instead.
void OfferProbedPorts(CommSettings& s) {
    const auto probed = ProbePorts();
    PortList found{};
    for (size_t i = 0; i < probed.size() && i < found.size(); ++i) found[i] = static_cast<int32_t>(probed[i]);
    const unsigned chosen = LoadChosenPortNumber();
    s.portList = OfferedPorts(found, {chosen});
    s.commPort = SettledCommPort(s.portList, s.commPort, chosen);
}

void ProbeLine(LineChoice& choice) {
    if (!choice.probePorts) return;
    OfferProbedPorts(choice.settings);
    choice.probePorts = false;
}

// Whether the port is to be closed only once the bytes handed to it have
// left (the port's Flush bounds that wait by the line time plus a margin;
// destroying the port gives up at once on bytes the controller holds up).
// A completed transfer owes the controller its last bytes, a stopped
// receive its SUB. After a cancelled send or download nothing more is owed:
// what the device already took still goes out, a piece the controller holds
// up with XOFF is dropped, rather than keeping a user who pressed Ctrl+C
// waiting. Nor after a lost port or a refused block: the port is gone or
// full, and waiting for it would only keep the user from the error.
bool ControllerAwaitsBytes(EndResult result) {
    switch (result) {
        case EndResult::SendFileCompleted:
        case EndResult::SendDocumentCompleted:
        case EndResult::ReceiveCompleted:
        case EndResult::ReceiveCancelled:
        case EndResult::ReceiveWriteFailed: return true;
        default: return false;
    }
}

// Prints the refusal of FILE; the exit status of an error.
int FileRefused(const char* command, const std::string& reason) {
    std::fprintf(stderr, "quorlin-cli %s: %s\n", command, reason.c_str());
    return kExitError;
}

// The one FILE and the line of a transfer command; a usage error's reason
// when either is missing or wrong.
std::optional<std::string> ChooseFileAndLine(const ParsedArgs& args, std::string& path, LineChoice& choice) {
    if (args.Positional().size() != 1) return "needs exactly one FILE";
    path = args.Positional()[0];
    return ChooseLine(args, choice);
}

// A bare FILE of a --machine transfer: a send takes it from the first of
// the machine's send folders that holds it, a receive stores it in its
// receive folder. Why, when a send finds it in none.
std::optional<std::string> CompleteMachineFile(const LineChoice& choice, FileRole role, std::string& path) {
    if (!choice.machine || !IsBareFileName(path)) return std::nullopt;
    const Machine& machine = *choice.machine;
    if (role == FileRole::Target) {
        path = ReceivePath(machine, path);
        return std::nullopt;
    }
    if (machine.sendFolders.empty()) return std::nullopt;
    if (auto found = FindInSendFolders(machine, path)) {
        path = *found;
        return std::nullopt;
    }
    std::string folders;
    for (const std::string& folder : machine.sendFolders) folders += (folders.empty() ? "" : ", ") + folder;
    return path + " is in none of the send folders of machine " + machine.name + ": " + folders;
}

// Runs one transfer: start is the engine's entry operation.
template <typename Start>
int RunTransferCommand(LineChoice choice, Start start) {
    ProbeLine(choice);
    CliTransferHost host(choice.settings);
    // A command may wait for a device server: one that does not answer is
    // an open failure.
    auto engine = std::make_unique<TransferEngine>(host, std::make_unique<SerialTransferPort>(OpenConnectedPortDevice));
    start(*engine);
    const RunOutcome outcome = host.RunTransfer(*engine, choice.idleSeconds);
    // Ctrl+C now ends the process at once, also during the wait below.
    host.ReleaseSignals();
    const EndResult result = engine->LastEndResult();
    if (ControllerAwaitsBytes(result)) engine->FlushPort();
    engine.reset();
    if (const uint64_t dropped = host.DroppedLogBytes())
        std::fprintf(stderr, "quorlin-cli: %llu bytes of the log were not printed: standard output was not being read\n",
                     static_cast<unsigned long long>(dropped));
    switch (outcome) {
        case RunOutcome::NotStarted: return kExitError;
        case RunOutcome::Cancelled: return kExitCancelled;
        case RunOutcome::IdleTimeout:
            std::fprintf(stderr, "quorlin-cli: no progress for %ld s; the transfer was cancelled\n",
                         choice.idleSeconds);
            return kExitIdleTimeout;
        case RunOutcome::Ended: break;
    }
    switch (result) {
        case EndResult::SendFileCompleted:
        case EndResult::SendDocumentCompleted:
        case EndResult::ReceiveCompleted: return kExitCompleted;
        case EndResult::SendCancelled:
        case EndResult::ReceiveCancelled: return kExitCancelled;
        default: return kExitError;
    }
}

// The text of a file as an editor window holds it: every line break as
// CR LF. NULs are paper-tape leader and fill, skipped as a receive skips
// them; taking the first as the text's end sent a program cut short.
bool LoadDocumentText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string raw((std::istreambuf_iterator<char>(in)), {});
    raw.erase(std::remove(raw.begin(), raw.end(), '\0'), raw.end());
    text.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) text.push_back('\r');
        text.push_back(raw[i]);
    }
    return true;
}

// The text that resumes FILE at --from-block or --from-line, read as the
// file send reads it (up to its SUB); an exit status when the options are
// wrong or no such block or line is in the program.
std::optional<int> ChooseResume(const ParsedArgs& args, const std::string& path, std::optional<ResumeSend>& resume) {
    const auto block = args.Value("from-block");
    const auto line = args.Value("from-line");
    if (!block && !line) return std::nullopt;
    if (block && line) return Usage("send", "takes --from-block or --from-line, not both");
    const auto number = ParseNumber(block ? *block : *line, block ? 0 : 1, static_cast<long>(nc::kMaxBlockNumber));
    if (!number) return Usage("send", block ? "--from-block takes a block number" : "--from-line takes a line number");
    std::string program;
    if (!LoadDocumentText(path, program)) {
        std::fprintf(stderr, "quorlin-cli send: cannot read %s\n", path.c_str());
        return kExitError;
    }
    program.resize(std::min(program.size(), program.find('\x1a')));
    const nc::ResumeText found =
        nc::PrepareResume(program, {block ? nc::ResumeBy::Block : nc::ResumeBy::Line, *number});
    if (found.Refused()) return FileRefused("send", found.refusal);
    resume = ResumeSend{found.text, path, args.Has("document"), found.blockWord, found.line};
    return std::nullopt;
}

}  // namespace

int RunSend(const Args& argv) {
    ParsedArgs args;
    auto options = kLineOptions;
    options.push_back({"document", false});
    options.push_back({"from-block", true});
    options.push_back({"from-line", true});
    if (auto reason = ParseArgs(argv, options, args)) return Usage("send", *reason);
    if (args.Has("help")) {
        std::printf(
            "usage: quorlin-cli send [--document] [--from-block N | --from-line N] [OPTIONS] FILE\n\n"
            "Sends the NC program FILE to the controller with the family's protocol.\n"
            "  --document          send FILE's text as the application sends the open document\n"
            "                      (log: \"Begin to send current opened file\")\n"
            "  --from-block N      resume a program part-way: send its start (the '%%' line and\n"
            "                      the program-number line), then the program from the first\n"
            "                      block numbered N (N120 and N0120 are both block 120) on. The\n"
            "                      log says where it resumed on the line after the begin line.\n"
            "                      A number that no block carries is refused before the port is\n"
            "                      opened\n"
            "  --from-line N       the same from line N of FILE (counted from 1)\n\n");
        PrintCommonHelp();
        return kExitCompleted;
    }
    std::string path;
    LineChoice choice;
    if (auto reason = ChooseFileAndLine(args, path, choice)) return Usage("send", *reason);
    if (auto refused = CompleteMachineFile(choice, FileRole::Source, path)) return FileRefused("send", *refused);
    if (auto refused = RefuseFile(path, FileRole::Source)) return FileRefused("send", *refused);
    std::optional<ResumeSend> resume;
    if (auto reason = ChooseResume(args, path, resume)) return *reason;
    if (resume) return RunTransferCommand(choice, [&](TransferEngine& e) { e.SendFrom(*resume); });
    if (args.Has("document")) {
        std::string text;
        if (!LoadDocumentText(path, text)) {
            std::fprintf(stderr, "quorlin-cli send: cannot read %s\n", path.c_str());
            return kExitError;
        }
        return RunTransferCommand(choice, [&](TransferEngine& e) { e.SendCurrentFile(text, path); });
    }
    return RunTransferCommand(choice, [&](TransferEngine& e) { e.SendFile(path); });
}

int RunReceive(const Args& argv) {
    ParsedArgs args;
    if (auto reason = ParseArgs(argv, kLineOptions, args)) return Usage("receive", *reason);
    if (args.Has("help")) {
        std::printf(
            "usage: quorlin-cli receive [OPTIONS] FILE\n\n"
            "Stores the program that the controller sends, up to its SUB, in FILE (created\n"
            "anew; line ends stored as CR LF). Cancel sends one SUB to the controller and\n"
            "keeps what was stored.\n\n");
        PrintCommonHelp();
        return kExitCompleted;
    }
    std::string path;
    LineChoice choice;
    if (auto reason = ChooseFileAndLine(args, path, choice)) return Usage("receive", *reason);
    if (auto refused = CompleteMachineFile(choice, FileRole::Target, path)) return FileRefused("receive", *refused);
    if (auto refused = RefuseFile(path, FileRole::Target)) return FileRefused("receive", *refused);
    return RunTransferCommand(choice, [&](TransferEngine& e) { e.ReceiveFile(path); });
}

int RunDownload(const Args& argv) {
    ParsedArgs args;
    auto options = kLineOptions;
    options.push_back({"kind", true});
    if (auto reason = ParseArgs(argv, options, args)) return Usage("download", *reason);
    if (args.Has("help")) {
        std::printf(
            "usage: quorlin-cli download --kind 1..5 [OPTIONS] FILE\n\n"
            "Downloads controller software:\n"
            "  1  interface picture, families 0 and 1 (plain stream, 9600 8O1)\n"
            "  2  update software, family 2 (plain stream, 19200 8N1)\n"
            "  3  system software (update file, blocks)\n"
            "  4  interface picture, families 3 and 4 (256-colour bitmap, blocks)\n"
            "  5  Chinese font (update file, blocks)\n"
            "Blocks go at 115200 for family 3 with --baud-index 1, else at 9600.\n\n");
        PrintCommonHelp();
        return kExitCompleted;
    }
    const auto kindText = args.Value("kind");
    if (!kindText) return Usage("download", "needs --kind 1..5");
    const auto number = ParseNumber(*kindText, std::numeric_limits<long>::min(), std::numeric_limits<long>::max());
    const auto kind = number ? DownloadKindFromNumber(*number) : std::nullopt;
    if (!kind) return Usage("download", "--kind takes 1 to 5");
    std::string path;
    LineChoice choice;
    if (auto reason = ChooseFileAndLine(args, path, choice)) return Usage("download", *reason);
    if (auto refused = CompleteMachineFile(choice, FileRole::Source, path)) return FileRefused("download", *refused);
    if (auto refused = RefuseFile(path, FileRole::Source)) return FileRefused("download", *refused);
    return RunTransferCommand(choice, [&](TransferEngine& e) { e.DownloadFile(path, *kind); });
}

int RunPorts(const Args& argv) {
    ParsedArgs args;
    if (auto reason = ParseArgs(argv, {}, args)) return Usage("ports", *reason);
    if (args.Has("help")) {
        std::printf(
            "usage: quorlin-cli ports\n\n"
            "Probes port numbers 0 to 254 as the application does at start-up and prints the\n"
            "first five that open, one a line: the port's name, a tab, its device. A '*'\n"
            "after the device marks the port that the profile's CommPort chooses; that\n"
            "port is listed even when another program holds it.\n");
        return kExitCompleted;
    }
    if (!args.Positional().empty()) return Usage("ports", "takes no arguments");
    CommSettings settings;
    LoadProfileSettings(settings);
    OfferProbedPorts(settings);
    for (size_t i = 0; i < settings.portList.size(); ++i) {
        const int32_t number = settings.portList[i];
        if (number == 0) continue;
        std::printf("%s\t%s%s\n", GetPortName(settings, static_cast<int>(i)).c_str(),
                    PortDevicePath(static_cast<unsigned>(number)).c_str(),
                    settings.commPort == static_cast<int32_t>(i) ? " *" : "");
    }
    return kExitCompleted;
}

int RunMachines(const Args& argv) {
    ParsedArgs args;
    if (auto reason = ParseArgs(argv, {}, args)) return Usage("machines", *reason);
    if (args.Has("help")) {
        std::printf(
            "usage: quorlin-cli machines\n\n"
            "Lists the machine profiles, one a line: the name, then tab-separated the port\n"
            "(as written, with its port number), the family, the baud rate, the receive folder\n"
            "and the send folders (\"; \" between them; \"-\" for none). A machine profile is a\n"
            "group \"Machine.NAME\" of the profile (beside the group \"Prop\"):\n\n"
            "  [Machine.Lathe1]\n"
            "  Port=COM3                         (or a device path: /dev/ttyUSB0, or a device\n"
            "                                     server: rfc2217://HOST:PORT, tcp://HOST:PORT)\n"
            "  Family=1                          (0 to 4, as --family)\n"
            "  BaudIndex=0                       (0 or 1, as --baud-index; 0 when left out)\n"
            "  ReceiveFolder=/srv/nc/lathe1/in\n"
            "  SendFolders=/srv/nc/lathe1, /srv/nc/common\n\n"
            "A machine on a device server is listed with the number the tool opens it by\n"
            "(COM1000 on): the number of a COM<N> link to the same address, if there is one.\n"
            "A group that is no machine is named on standard error with the reason, and the\n"
            "exit status is 1.\n");
        return kExitCompleted;
    }
    if (!args.Positional().empty()) return Usage("machines", "takes no arguments");
    const MachineList list = LoadMachines();
    auto orNone = [](const std::string& text) { return text.empty() ? std::string("-") : text; };
    for (const Machine& machine : list.machines) {
        std::string sendFolders;
        for (const std::string& folder : machine.sendFolders) sendFolders += (sendFolders.empty() ? "" : "; ") + folder;
        std::printf("%s\t%s (COM%u)\tfamily %d\t%d baud\t%s\t%s\n", machine.name.c_str(), machine.port.c_str(),
                    machine.portNumber, machine.family, BaudForIndex(machine.family, machine.baudIndex),
                    orNone(machine.receiveFolder).c_str(), orNone(sendFolders).c_str());
    }
    for (const std::string& refused : list.refused)
        std::fprintf(stderr, "quorlin-cli machines: machine %s\n", refused.c_str());
    if (list.machines.empty() && list.refused.empty())
        std::fprintf(stderr, "quorlin-cli machines: the profile holds no machine (see quorlin-cli machines --help)\n");
    return list.refused.empty() ? kExitCompleted : kExitError;
}

}  // namespace quorlin::cli
