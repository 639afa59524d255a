#include "cli/serve/ServedMachine.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "cli/serve/ProgramStore.h"
#include "nc/ProgramHeader.h"
#include "serial/SerialDevice.h"
#include "transfer/ControllerFamily.h"
#include "transfer/HostPace.h"
#include "transfer/PortFailureText.h"
#include "transfer/SerialTransferPort.h"
#include "transfer/TextRules.h"

namespace quorlin::cli {

namespace {

namespace fs = std::filesystem;

// Where the program number and the first comment are looked for: the head
// of the program, not the whole of a long one.
constexpr size_t kHeadBytes = 64 * 1024;
// While the line still carries a sent program, its output is looked at this
// often before the port is opened again for the next receive.
constexpr std::chrono::milliseconds kSettleLook{50};
// How long past its line time a sent program may take to leave the port.
constexpr std::chrono::seconds kSettleMargin{3};

std::string Head(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text(kHeadBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

uint64_t FileBytes(const std::string& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : static_cast<uint64_t>(size);
}

// A free name beside the others, for what is kept from a receive.
std::string FreeName(const std::string& folder, const std::string& stem, const char* suffix) {
    std::error_code error;
    std::string path = folder + "/" + stem + suffix;
    for (int n = 2; fs::exists(path, error) && n < 1000; ++n)
        path = folder + "/" + stem + "-" + std::to_string(n) + suffix;
    return path;
}

}  // namespace

ServedMachine::ServedMachine(ServedMachineProfile profile, ServeReport report, std::chrono::milliseconds retry)
    : m_profile(std::move(profile)),
      m_report(report),
      m_retry(retry),
      // Hidden, and in the receive folder itself: the rename that names the
      // program then never crosses file systems.
      m_receivePath(m_profile.machine.receiveFolder + "/.receiving-" + m_profile.machine.name + ".nc") {
    UseMachineLine(m_profile.machine, m_settings);
    // The machine's own thread may wait for its device server: a server
    // that does not answer fails the open, and is tried again as a port
    // that is down, instead of serving a port that is lost at once.
    m_engine = std::make_unique<TransferEngine>(*this, std::make_unique<SerialTransferPort>(OpenConnectedPortDevice));
}

ServedMachine::~ServedMachine() {
    m_engine.reset();  // ends the port's threads before the pump goes
    WriteLog();
}

void ServedMachine::Start() {
    StartReceive();
    WriteLog();
}

bool ServedMachine::Park() {
    // An Echo transfer's host would look for the answer before it parks;
    // with many machines on one thread that look would only spin.
    const MessagePump::Pace pace = PaceOf(*m_engine);
    m_pump.SetPace(pace == MessagePump::Pace::Answer ? MessagePump::Pace::Prompt : pace);
    return m_pump.Park();
}

std::optional<ServedMachine::Clock::time_point> ServedMachine::Deadline() const {
    std::optional<Clock::time_point> deadline = m_pump.HeldUntil();
    if (m_phase == Phase::Delaying || m_phase == Phase::Settling || m_phase == Phase::Down)
        if (!deadline || m_timer < *deadline) deadline = m_timer;
    return deadline;
}

void ServedMachine::Run() {
    for (const auto& [message, wParam, lParam] : m_pump.TakeAll()) m_engine->HandleMessage(message, wParam, lParam);
    m_pump.Handled();
    const auto now = Clock::now();
    switch (m_phase) {
        case Phase::Receiving:
            if (!m_engine->IsTransferring()) ReceiveEnded();
            break;
        case Phase::Sending:
            if (!m_engine->IsTransferring()) SendEnded();
            break;
        case Phase::Delaying:
            if (now >= m_timer) StartSend();
            break;
        case Phase::Settling:
            if (now < m_timer) break;
            if (m_engine->LineActivity().outputWaiting > 0 && now < m_settleLimit) {
                m_timer = now + kSettleLook;
                break;
            }
            StartReceive();
            Event("sent " + m_sendPath + " (" + std::to_string(FileBytes(m_sendPath)) + " bytes)");
            break;
        case Phase::Down:
            if (now >= m_timer) StartReceive();
            break;
    }
    WriteLog();
}

bool ServedMachine::Busy() const {
    switch (m_phase) {
        case Phase::Receiving: return m_engine->LineActivity().steps != m_nStepsAtReceive;
        case Phase::Delaying:
        case Phase::Sending:
        case Phase::Settling: return true;
        case Phase::Down: return false;
    }
    return false;
}

bool ServedMachine::Stop() {
    bool owed = false;
    if (m_engine->IsTransferring()) {
        if (m_engine->TransferKindNow() != TransferKind::ReceiveFile) {
            m_engine->OnSendDlgCancel();
        } else if (Busy()) {
            m_engine->OnReceiveDlgCancel();
            owed = true;  // the SUB that tells the controller the PC stops
        } else {
            // No program is coming: the controller is told nothing, as it
            // was told nothing when the receive began.
            m_engine->EndTransfer(EndResult::ReceiveCancelled);
        }
    }
    const std::string kept = KeepReceived(".partial.nc");
    if (!kept.empty()) Note("what was received is kept as " + kept);
    m_phase = Phase::Down;
    Event("stopped");
    WriteLog();
    return owed;
}

void ServedMachine::StartReceive() {
    const std::string kept = KeepReceived(".partial.nc");
    if (!kept.empty()) Note("what was received is kept as " + kept);
    m_lastWhy.clear();
    m_bPortFailed = false;
    // On the port the last program came in on, as it left it: a controller
    // that punches several programs at once has sent the next one's start.
    m_engine->ReceiveNext(m_receivePath);
    if (m_engine->IsTransferring()) {
        m_phase = Phase::Receiving;
        m_nStepsAtReceive = m_engine->LineActivity().steps;
        if (m_bDown && m_bPortDown && m_bServed)
            Event("port back");
        else if (m_bDown || !m_bServed)
            Event("serving " + m_profile.machine.port);
        m_bServed = true;
        m_bDown = false;
        return;
    }
    if (!m_bDown) {
        if (m_bPortFailed && m_bServed)
            Event("port lost");
        else
            Event(std::string(m_bPortFailed ? "failed open " + m_profile.machine.port : "failed receive " + m_receivePath) +
                  ": " + Why("it did not start"));
    }
    GoDown(m_bPortFailed);
}

// Said once: the retries that follow say nothing until one succeeds.
void ServedMachine::GoDown(bool port) {
    m_bDown = true;
    m_bPortDown = port;
    m_phase = Phase::Down;
    m_timer = Clock::now() + m_retry;
}

void ServedMachine::ReceiveEnded() {
    switch (m_engine->LastEndResult()) {
        case EndResult::ReceiveCompleted: TakeProgram(); return;
        case EndResult::PortLost:
            Event("port lost");
            GoDown(true);
            return;
        default: {
            const std::string why = Why("the receive ended");
            StartReceive();
            Event("failed receive: " + why);
            return;
        }
    }
}

void ServedMachine::TakeProgram() {
    const std::string text = Head(m_receivePath);
    const auto number = nc::ProgramNumber(text);
    if (number && nc::SameProgramNumber(*number, m_profile.serve.requestNumber)) {
        // A request is no program: it is answered, never stored.
        std::error_code ignored;
        fs::remove(m_receivePath, ignored);
        std::string failure;
        if (auto path = RequestedFile(text, failure)) {
            m_sendPath = *path;
            m_phase = Phase::Delaying;
            // An Xon control asks for the program with DC1 once the operator
            // switches it to receive, and the send clears the line's input as
            // it begins: it begins at once, or a DC1 within the delay is lost
            // and the send waits for one that never comes.
            const bool controllerAsks = ProgramProtocol(m_settings.sysType) == Protocol::Xon;
            m_timer = Clock::now() + (controllerAsks ? Clock::duration::zero() : m_profile.serve.requestDelay);
            return;
        }
        StartReceive();
        Event(failure);
        return;
    }
    const std::time_t now = std::time(nullptr);
    const std::string name = number ? ProgramFileName(m_profile.serve.namePattern, *number) : UnnumberedProgramName(now);
    StoredProgram stored;
    if (auto why = StoreProgram(m_receivePath, m_profile.machine.receiveFolder, name, now, stored)) {
        const std::string kept = KeepReceived(".nc");
        StartReceive();
        Event("failed store " + name + ": " + *why + (kept.empty() ? std::string() : "; the program is kept as " + kept));
        return;
    }
    if (!stored.backup.empty()) Note("the program that was " + stored.path + " is kept as " + stored.backup);
    StartReceive();
    Event("stored " + stored.path + " (" + std::to_string(stored.bytes) + " bytes)");
}

std::optional<std::string> ServedMachine::RequestedFile(const std::string& text, std::string& failure) {
    const auto comment = nc::FirstComment(text);
    std::optional<std::string> digits;
    for (const std::string& pattern : m_profile.serve.requestComments) {
        if (comment) digits = nc::MatchNumberPattern(*comment, pattern);
        if (digits) break;
    }
    if (!digits) {
        failure = comment ? "failed request: its first comment (" + *comment + ") names no program"
                          : std::string("failed request: it has no comment that names a program");
        return std::nullopt;
    }
    const std::string name = ProgramFileName(m_profile.serve.namePattern, *digits);
    Event("requested " + name);
    auto path = FindInSendFolders(m_profile.machine, name);
    if (!path) failure = "failed request " + name + ": it is in none of the send folders; nothing was sent";
    return path;
}

void ServedMachine::StartSend() {
    m_lastWhy.clear();
    m_bPortFailed = false;
    m_engine->SendFile(m_sendPath);
    if (m_engine->IsTransferring()) {
        m_phase = Phase::Sending;
        return;
    }
    Event("failed send " + m_sendPath + ": " + Why("it did not start"));
    if (m_bPortFailed) {
        Event("port lost");
        GoDown(true);
        return;
    }
    StartReceive();
}

void ServedMachine::SendEnded() {
    const EndResult result = m_engine->LastEndResult();
    if (IsCompletedResult(result)) {
        m_phase = Phase::Settling;
        m_timer = std::max(Clock::now(), m_engine->LineActivity().lineFreeAt);
        m_settleLimit = m_timer + kSettleMargin;
        return;
    }
    Event("failed send " + m_sendPath + ": " + Why("the send ended"));
    if (result == EndResult::PortLost) {
        Event("port lost");
        GoDown(true);
        return;
    }
    StartReceive();
}

std::string ServedMachine::KeepReceived(const char* suffix) {
    std::error_code error;
    if (!fs::exists(m_receivePath, error)) return {};
    if (fs::file_size(m_receivePath, error) == 0 || error) {
        fs::remove(m_receivePath, error);
        return {};
    }
    const std::string kept = FreeName(m_profile.machine.receiveFolder, "received-" + FileTimestamp(std::time(nullptr)), suffix);
    fs::rename(m_receivePath, kept, error);
    return error ? std::string() : kept;
}

void ServedMachine::Event(const std::string& text) {
    m_report.events.Append(m_profile.machine.name + ": " + text + "\n");
    m_report.events.Flush();
    Note(text);
}

void ServedMachine::Note(const std::string& text) {
    AppendLogText(FormatLogTimestamp(std::time(nullptr)) + text + "\r\n");
}

void ServedMachine::AppendLogText(std::string_view text) {
    m_nLogLength += text.size();
    m_logPending.append(text);
}

void ServedMachine::WriteLog() {
    if (m_logPending.empty()) return;
    m_report.logs.Append(m_profile.serve.logFile, m_profile.serve.logFileSize, m_logPending);
    m_logPending.clear();
}

std::string ServedMachine::Why(const char* otherwise) const { return m_lastWhy.empty() ? otherwise : m_lastWhy; }

void ServedMachine::ShowMessage(const std::string& text, const std::string& caption, MessageBoxIcon) {
    m_lastWhy = text;
    AppendLogText(caption + ": " + text + "\r\n");
}

void ServedMachine::ShowPortOpenFailure(const std::string& text, const std::string& caption, const PortFailure& why) {
    m_bPortFailed = true;
    const std::string advice = PortFailureAdvice(why);
    ShowMessage(advice.empty() ? text : text + " " + advice, caption, MessageBoxIcon::Error);
}

void ServedMachine::ShowFileOpenFailure(const std::string& text, const std::string& caption, const FileFailure& why) {
    ShowMessage(why.text.empty() ? text : text + " " + why.text, caption, MessageBoxIcon::Error);
}

void ServedMachine::Post(unsigned message, uintptr_t wParam, intptr_t lParam) { m_pump.Post({message, wParam, lParam}); }

}  // namespace quorlin::cli
