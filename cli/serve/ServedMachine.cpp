#include "cli/serve/ServedMachine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
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
// While a send runs, whether it still moves is looked at this often: a
// line draining what the port holds posts nothing.
constexpr std::chrono::seconds kSendLook{1};

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

std::optional<ServedMachine::FileIdentity> ServedMachine::RegularFileIdentity(const std::string& path) {
    struct stat seen {};
    if (::lstat(path.c_str(), &seen) != 0 || !S_ISREG(seen.st_mode)) return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(seen.st_dev), static_cast<uint64_t>(seen.st_ino)};
}

ServedMachine::ServedMachine(ServedMachineProfile profile, ServeReport report, std::chrono::milliseconds retry,
                             std::chrono::milliseconds idle)
    : m_profile(std::move(profile)),
      m_report(report),
      m_retry(retry),
      m_idle(idle),
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
    auto endBy = [&deadline](Clock::time_point at) {
        if (!deadline || at < *deadline) deadline = at;
    };
    if (m_phase == Phase::Settling || m_phase == Phase::Down) endBy(m_timer);
    if (m_phase == Phase::Receiving && m_sendAt) endBy(*m_sendAt);
    if (m_phase == Phase::Sending) endBy(std::min(m_sendMotion.LastMoved() + m_idle, Clock::now() + kSendLook));
    return deadline;
}

void ServedMachine::Run() {
    for (const auto& [message, wParam, lParam] : m_pump.TakeAll()) m_engine->HandleMessage(message, wParam, lParam);
    m_pump.Handled();
    const auto now = Clock::now();
    switch (m_phase) {
        case Phase::Receiving:
            if (!m_engine->IsTransferring())
                ReceiveEnded();
            else if (m_sendAt && now >= *m_sendAt && !ProgramComing())
                StartSend();
            break;
        case Phase::Sending:
            if (m_engine->IsTransferring() && SendStalled(now)) {
                // The control stopped it with DC3 and was reset, or a device
                // server stopped reading: nothing would ever end the send,
                // and the machine would take no program again.
                m_engine->OnSendDlgCancel();
                m_lastWhy = "nothing moved on the line for " +
                            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(m_idle).count()) +
                            " s; the machine waits for programs again";
            }
            if (!m_engine->IsTransferring()) SendEnded();
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

bool ServedMachine::ProgramComing() const { return m_engine->LineActivity().steps != m_nStepsAtReceive; }

bool ServedMachine::SendStalled(Clock::time_point now) {
    return now - m_sendMotion.Watch(m_engine->LineActivity(), now) >= m_idle;
}

bool ServedMachine::Busy() const {
    switch (m_phase) {
        case Phase::Receiving: return ProgramComing() || m_sendAt.has_value();
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
    m_sendAt.reset();
    m_phase = Phase::Down;
    Event("stopped");
    WriteLog();
    return owed;
}

bool ServedMachine::HoldMachine() {
    std::string why;
    switch (m_lock.Take(m_profile.machine.receiveFolder, m_profile.machine.name, why)) {
        case MachineLock::Outcome::Held: return true;
        case MachineLock::Outcome::HeldElsewhere:
            m_bRefused = true;
            m_phase = Phase::Down;
            std::fprintf(stderr, "quorlin-cli serve: machine %s refused: %s\n", Name().c_str(), why.c_str());
            Event("refused: " + why);
            return false;
        case MachineLock::Outcome::Failed:
            if (!m_bDown) Event("failed receive " + m_receivePath + ": " + why);
            GoDown(false);
            return false;
    }
    return false;
}

void ServedMachine::StartReceive() {
    if (!HoldMachine()) return;
    const std::string kept = KeepReceived(".partial.nc");
    if (!kept.empty()) Note("what was received is kept as " + kept);
    m_lastWhy.clear();
    m_bPortFailed = false;
    // On the port the last program came in on, as it left it: a controller
    // that punches several programs at once has sent the next one's start.
    m_engine->ReceiveNext(m_receivePath);
    if (m_engine->IsTransferring()) {
        m_receiveId = RegularFileIdentity(m_receivePath);
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
    if (m_sendAt) Event("failed send " + m_sendPath + ": the line went down before it; nothing was sent");
    m_sendAt.reset();
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
    // Only the file the receive wrote takes a program's name: one put in
    // its place meanwhile (a link to a file elsewhere) is never renamed.
    if (!m_receiveId || RegularFileIdentity(m_receivePath) != m_receiveId) {
        StartReceive();
        Event("failed store: " + m_receivePath + " is no longer the file the program was received into; nothing is stored");
        return;
    }
    const std::string text = Head(m_receivePath);
    const auto number = nc::ProgramNumber(text);
    if (number && nc::SameProgramNumber(*number, m_profile.serve.requestNumber)) {
        // A request is no program: it is answered, never stored.
        std::error_code ignored;
        fs::remove(m_receivePath, ignored);
        std::string failure;
        auto path = RequestedFile(text, failure);
        if (path && m_sendAt) {
            failure = "failed request " + fs::path(*path).filename().string() + ": the send of " + m_sendPath +
                      " waits; nothing more is sent";
            path.reset();
        }
        if (path) {
            m_sendPath = *path;
            // An Xon control asks for the program with DC1 once the operator
            // switches it to receive, and the send clears the line's input as
            // it begins: it begins at once, or a DC1 within the delay is lost
            // and the send waits for one that never comes.
            if (ProgramProtocol(m_settings.sysType) == Protocol::Xon) {
                StartSend();
                return;
            }
            // Meanwhile a receive waits: a program the operator punches
            // before switching the control over is stored as any other, and
            // the send waits until it has come.
            StartReceive();
            if (m_phase == Phase::Receiving) m_sendAt = Clock::now() + m_profile.serve.requestDelay;
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
    m_sendAt.reset();
    if (m_engine->IsTransferring()) {
        // The receive that waited through the delay: no program came, so
        // the controller is told nothing.
        m_engine->EndTransfer(EndResult::ReceiveCancelled);
        KeepReceived(".partial.nc");
    }
    m_lastWhy.clear();
    m_bPortFailed = false;
    m_engine->SendFile(m_sendPath);
    if (m_engine->IsTransferring()) {
        m_phase = Phase::Sending;
        m_sendMotion.Restart(m_engine->LineActivity(), Clock::now());
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
    const std::string failure = "failed send " + m_sendPath + ": " + Why("the send ended");
    if (result == EndResult::PortLost) {
        Event(failure);
        Event("port lost");
        GoDown(true);
        return;
    }
    // Said once the receive waits again, as a stored program is: whoever
    // acts on the event finds the machine ready.
    StartReceive();
    Event(failure);
}

std::string ServedMachine::KeepReceived(const char* suffix) {
    struct stat seen {};
    if (::lstat(m_receivePath.c_str(), &seen) != 0) return {};
    if (S_ISLNK(seen.st_mode)) {
        // The next program would be written where the link points and the
        // link then named as the program. The link goes; what it points to
        // is not touched.
        ::unlink(m_receivePath.c_str());
        Event("removed the link " + m_receivePath + ": programs are received into a file of this folder only");
        return {};
    }
    // Anything else that is no file the receive refuses, and says why.
    if (!S_ISREG(seen.st_mode)) return {};
    std::error_code error;
    if (seen.st_size == 0) {
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
    m_report.logs.Append(Name(), m_profile.serve.logFile, m_profile.serve.logFileSize, m_logPending);
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
