// CSerialPort: life cycle, configuration and the device operations. The two
// threads and the data path are in SerialThreads.cpp.
#include "serial/SerialPort.h"

#include <cerrno>
#include <cstring>

#include "serial/LineSettings.h"
#include "serial/OutputDrain.h"
#include "serial/PortLimits.h"
#include "serial/SerialDevice.h"

namespace quorlin {
namespace {

constexpr uint32_t kQueueSizeRequested = 512;

PortFailure FailureOf(PortFailureKind kind, int error, const char* operation) {
    PortFailure failure;
    failure.kind = kind;
    failure.systemError = error;
    failure.systemText = error != 0 ? SystemErrorText(error) : "";
    failure.operation = operation;
    return failure;
}

}  // namespace

CSerialPort::CSerialPort(unsigned bufferCapacity) : CSerialPort(bufferCapacity, OpenPortDevice) {}

CSerialPort::CSerialPort(unsigned bufferCapacity, DeviceOpener openDevice)
    : m_openDevice(std::move(openDevice)), m_nBufferCapacity(bufferCapacity) {}

CSerialPort::~CSerialPort() {
    Close();
    // What the device has taken still goes out; a line held by XOFF or a
    // device without room does not keep the end of the port waiting.
    for (const auto& drain : m_drains) drain->Abandon();
    WaitForDrains("");
}

bool CSerialPort::Open(ISerialOwner* owner, unsigned port, unsigned notifyParam) {
    Close();
    if (!m_hStopEvent) {
        m_hStopEvent = std::make_unique<WakeEvent>();
        m_hWriteEvent = std::make_unique<WakeEvent>();
        m_hCommEvent = std::make_unique<WakeEvent>();
    }
    m_pOwnerWnd = owner;
    m_nPort = port;
    m_nNotifyParam = notifyParam;

    std::lock_guard readLock(m_csRead);  // always m_csRead first, then m_csWrite
    std::lock_guard writeLock(m_csWrite);
    PortFailure failure;
    std::unique_ptr<SerialDevice> device;
    const PortTarget target = PortTargetOf(port);
    if (!m_hStopEvent->IsValid() || !m_hWriteEvent->IsValid() || !m_hCommEvent->IsValid()) {
        failure = FailureOf(PortFailureKind::Other, LastSystemError(), kSystemCalls.createEvent);
    } else if (!target.IsNamed()) {
        failure = FailureOf(PortFailureKind::NotFound, ENOENT, kSystemCalls.open);  // the map names no device
    } else {
        // The device may still be sending what an earlier session of this
        // port left: that ends as soon as it has left, within its bound.
        WaitForDrains(target.path);
        device = m_openDevice(target, failure);
    }
    {
        std::lock_guard state(m_stateMutex);
        m_lastOpenFailure = failure;
    }
    if (!device) {
        errno = failure.systemError;
        ProcessErrorMessage("CreateFile()");
        std::lock_guard state(m_stateMutex);
        m_lastFailure.kind = failure.kind;
        return false;
    }
    m_hDevice = std::move(device);
    m_strDevicePath = target.path;
    ResetLineState();
    return true;
}

void CSerialPort::WaitForDrains(const std::string& path) {
    for (auto it = m_drains.begin(); it != m_drains.end();) {
        if (path.empty() || (*it)->Path() == path || (*it)->IsFinished()) {
            (*it)->Wait();
            it = m_drains.erase(it);
        } else {
            ++it;
        }
    }
}

void CSerialPort::ResetLineState() {
    std::lock_guard state(m_stateMutex);
    m_inputQueue.clear();
    m_bDeviceLost = false;
    m_bLossReported = false;
    m_bInputBackedUp = false;
    m_bOutputPaused = false;
    DropWriteQueue();
}

void CSerialPort::Init(unsigned baud, uint8_t parity, uint8_t dataBits, uint8_t stopBits,
                       uint8_t handshake, uint32_t eventMask) {
    Configure(FormatLineSettings(baud, static_cast<char>(parity), dataBits, stopBits), handshake,
              eventMask);
}

void CSerialPort::InitKeepingOutput(unsigned baud, uint8_t parity, uint8_t dataBits, uint8_t stopBits,
                                    uint8_t handshake, uint32_t eventMask) {
    Configure(FormatLineSettings(baud, static_cast<char>(parity), dataBits, stopBits), handshake,
              eventMask, PurgeScope::InputOnly);
}

void CSerialPort::Init(const char* baud, char parity, const char* dataBits, const char* stopBits,
                       uint8_t handshake, uint32_t eventMask) {
    std::string text = "baud=";
    text += baud ? baud : "";
    text += " parity=";
    text += parity;
    text += " data=";
    text += dataBits ? dataBits : "";
    text += " stop=";
    text += stopBits ? stopBits : "";
    Configure(text, handshake, eventMask);
}

void CSerialPort::Configure(const std::string& lineSettings, uint8_t handshake,
                            uint32_t eventMask, PurgeScope purge) {
    std::lock_guard readLock(m_csRead);  // always m_csRead first, then m_csWrite
    std::lock_guard writeLock(m_csWrite);
    Set0Timeouts();
    SetMask(eventMask);
    CommState state;
    GetState(state);
    // A rejected text leaves the settings just read.
    ParseLineSettings(lineSettings, state);
    ApplyHandshake(state, handshake);
    SetState(state);
    Setup(kQueueSizeRequested, kQueueSizeRequested);
    if (purge == PurgeScope::Both)
        Purge();
    else
        PurgeInput();
}

void CSerialPort::Close() {
    if (!m_hDevice) return;
    StopMonitoring();
    std::lock_guard readLock(m_csRead);  // always m_csRead first, then m_csWrite
    std::lock_guard writeLock(m_csWrite);
    // What was written and has not left yet still goes, in order, without
    // the caller waiting for the line.
    std::vector<uint8_t> owed;
    OutputDrain::Flow flow;
    uint32_t baud;
    bool lost;
    {
        std::lock_guard state(m_stateMutex);
        lost = m_bDeviceLost;
        if (!lost) {
            owed.reserve(m_nWriteLength);
            size_t skip = m_nFrontSent;
            for (const std::vector<uint8_t>& block : m_pWriteBuffer) {
                owed.insert(owed.end(), block.begin() + static_cast<ptrdiff_t>(skip), block.end());
                skip = 0;
            }
        }
        flow = {m_bSoftwareFlow, m_bOutputPaused, m_nXonChar, m_nXoffChar};
        baud = m_nLineBaud;
    }
    // A device still connecting to its server has put nothing on the line:
    // what it was given goes with it, and no later Open waits for a
    // connection that may never come.
    const bool reachedLine = !lost && !m_hDevice->IsConnecting();
    uint32_t inDevice = 0;
    const bool deviceOwes = reachedLine && m_hDevice->OutputWaiting(inDevice) && inDevice > 0;
    std::erase_if(m_drains, [](const auto& drain) { return drain->IsFinished(); });
    if (reachedLine && (!owed.empty() || deviceOwes))
        m_drains.push_back(std::make_unique<OutputDrain>(std::move(m_hDevice), m_strDevicePath,
                                                         std::move(owed), flow, baud));
    m_hDevice.reset();
    m_strDevicePath.clear();
    ResetLineState();
}

bool CSerialPort::IsOpen() const { return m_hDevice != nullptr; }

bool CSerialPort::IsConnecting() const { return m_hDevice && m_hDevice->IsConnecting(); }

bool CSerialPort::IsDeviceLost() const {
    std::lock_guard state(m_stateMutex);
    return m_bDeviceLost;
}

PortFailure CSerialPort::LastFailure() const {
    std::lock_guard state(m_stateMutex);
    return m_lastFailure;
}

std::string CSerialPort::LastError() const {
    std::lock_guard state(m_stateMutex);
    return m_strLastError;
}

PortFailure CSerialPort::LastOpenFailure() const {
    {
        std::lock_guard state(m_stateMutex);
        if (m_lastOpenFailure.kind != PortFailureKind::None || !m_hDevice) return m_lastOpenFailure;
    }
    // A device that connects after Open may never have come up.
    return m_hDevice->OpenFailure();
}

PortFailure CSerialPort::LastConfigFailure() const {
    std::lock_guard state(m_stateMutex);
    return m_lastConfigFailure;
}

bool CSerialPort::RequireOpen(const char* operation) {
    if (m_hDevice) return true;
    errno = EBADF;
    ProcessErrorMessage(operation);
    return false;
}

void CSerialPort::ProcessErrorMessage(const char* operation) {
    // The port's callers carry on as though the call had succeeded (the
    // transfers end by their own Cancel); the failure is only kept so that a
    // diagnostic can show it.
    const int error = errno;
    std::string call = operation;
    while (!call.empty() && call.back() == '\n') call.pop_back();
    PortFailure failure{PortFailureKind::Other, error, error != 0 ? std::strerror(error) : "", call};
    std::string text = call;
    if (error != 0) text += " (" + failure.systemText + ")";
    std::lock_guard state(m_stateMutex);
    m_strLastError = std::move(text);
    m_lastFailure = std::move(failure);
}

void CSerialPort::Purge() {
    if (!RequireOpen("PurgeComm()")) return;
    {
        // The queue goes first, so that no piece of it reaches the device
        // after the device's queues were emptied.
        std::unique_lock state(m_stateMutex);
        m_stateChanged.wait(state, [this] { return !m_bChunkInFlight; });
        m_inputQueue.clear();
        ++m_nPurgeGeneration;
        DropWriteQueue();
        m_bInputBackedUp = false;
    }
    if (!m_hDevice->Purge()) ProcessErrorMessage("PurgeComm()");
    m_stateChanged.notify_all();
    SignalWriter();
    SignalReader();
}

void CSerialPort::PurgeInput() {
    if (!RequireOpen("PurgeComm()")) return;
    {
        std::lock_guard state(m_stateMutex);
        m_inputQueue.clear();
        m_bInputBackedUp = false;
    }
    if (!m_hDevice->PurgeInput()) ProcessErrorMessage("PurgeComm()");
    SignalReader();
}

void CSerialPort::Flush() {
    if (!RequireOpen("FlushFileBuffers()")) return;
    uint64_t queued;
    {
        std::lock_guard state(m_stateMutex);
        queued = m_nWriteLength;
    }
    uint32_t inDevice = 0;
    if (m_hDevice->OutputWaiting(inDevice)) queued += inDevice;
    const auto deadline = DeliveryDeadline(queued);
    {
        // The writer ends a block once the device has sent it, so this wait
        // covers the device's queue too while monitoring.
        std::unique_lock state(m_stateMutex);
        const bool settled = m_stateChanged.wait_until(state, deadline, [this] {
            return m_pWriteBuffer.empty() || m_bDeviceLost || m_bStopping || !m_bWriterRunning;
        });
        if (!settled || m_bDeviceLost) {
            state.unlock();
            errno = settled ? EIO : ETIMEDOUT;
            ProcessErrorMessage("FlushFileBuffers()");
            return;
        }
    }
    if (!m_hDevice->DrainUntil(deadline)) ProcessErrorMessage("FlushFileBuffers()");
}

std::chrono::steady_clock::time_point CSerialPort::DeliveryDeadline(uint64_t bytes) const {
    uint32_t baud;
    {
        std::lock_guard state(m_stateMutex);
        baud = m_nLineBaud;
    }
    return std::chrono::steady_clock::now() + LineTime(bytes, baud) + port_limits::kDeliveryMargin;
}

void CSerialPort::Escape(uint32_t code) {
    if (!m_hDevice || !m_hDevice->Escape(code)) ProcessErrorMessage("EscapeCommFunction()");
}

void CSerialPort::GetStatus(CommStatus& status) {
    uint32_t kernelOut = 0;
    if (!m_hDevice || !m_hDevice->OutputWaiting(kernelOut)) {
        ProcessErrorMessage("ClearCommError()");
        return;
    }
    bool readerRunning;
    {
        std::lock_guard state(m_stateMutex);
        readerRunning = m_bReaderRunning;
    }
    if (!readerRunning) PullInput();  // nobody else moves the bytes in
    std::lock_guard state(m_stateMutex);
    status.inQueue = static_cast<uint32_t>(m_inputQueue.size());
    status.outQueue = kernelOut + m_nWriteLength;
    status.outputHeld = m_bSoftwareFlow && m_bOutputPaused;
}

void CSerialPort::Set0Timeouts() {
    // The descriptor is non-blocking from Open on: a read returns at once
    // with what is waiting and a write never times out (the writer waits for
    // room itself). Nothing to set, only a closed port to report.
    RequireOpen("SetCommTimeouts()\n");
}

void CSerialPort::GetMask(uint32_t& mask) {
    if (!RequireOpen("GetCommMask()\n")) return;
    std::lock_guard state(m_stateMutex);
    mask = m_nEventMask;
}

void CSerialPort::SetMask(uint32_t mask) {
    if (!RequireOpen("SetCommMask()\n")) return;
    {
        std::lock_guard state(m_stateMutex);
        m_nEventMask = mask;
    }
    // Ends the reader's present wait; it waits again under the new mask.
    SignalReader();
}

void CSerialPort::GetState(CommState& state) {
    CommState device;
    if (!m_hDevice || !m_hDevice->GetState(device)) {
        ProcessErrorMessage("GetCommState()\n");
        return;
    }
    std::lock_guard lock(m_stateMutex);
    device.outX = m_heldState.outX;
    device.xonLim = m_heldState.xonLim;
    device.xoffLim = m_heldState.xoffLim;
    device.dsrSensitivity = m_heldState.dsrSensitivity;
    device.discardNulls = m_heldState.discardNulls;
    device.dtrControl = m_heldState.dtrControl;
    if (device.outxCtsFlow) {  // CRTSCTS: which of the hardware modes was asked for
        device.outxCtsFlow = m_heldState.outxCtsFlow || !m_heldState.outxDsrFlow;
        device.outxDsrFlow = m_heldState.outxDsrFlow;
        device.rtsControl = m_heldState.rtsControl;
    } else {
        device.rtsControl = m_heldState.rtsControl;
    }
    state = device;
}

void CSerialPort::SetState(const CommState& state) {
    if (!RequireOpen("SetCommState()\n")) return;
    std::string notTaken;
    const bool taken = m_hDevice->SetState(state, notTaken);
    const int error = errno;
    const int systemError = LastSystemError();
    PortFailure failure;
    if (!taken) {
        failure = FailureOf(error == ENOTTY ? PortFailureKind::NotSerialDevice : PortFailureKind::Other,
                            systemError, kSystemCalls.setState);
        if (!notTaken.empty()) failure.systemText += " (not taken: " + notTaken + ")";
    }
    CommState took;
    const bool readBack = m_hDevice->GetState(took);
    bool resumed = false;
    {
        std::lock_guard lock(m_stateMutex);
        // The port's own parts (output flow by XON/XOFF, the limits) hold
        // whatever the device did with the rest: flow control is never
        // lost because a device kept its own framing.
        m_heldState = state;
        m_bSoftwareFlow = state.outX;
        m_nXonChar = state.xonChar;
        m_nXoffChar = state.xoffChar;
        m_nLineBaud = readBack && took.baudRate != 0 ? took.baudRate : state.baudRate;
        m_lastConfigFailure = failure;
        // Without software flow no XON will ever be honoured: do not stay
        // stopped by an earlier XOFF.
        if (!m_bSoftwareFlow && m_bOutputPaused) {
            m_bOutputPaused = false;
            resumed = true;
        }
    }
    if (!taken) {
        errno = error;
        ProcessErrorMessage("SetCommState()\n");
        std::lock_guard lock(m_stateMutex);
        m_lastFailure.kind = failure.kind;
        if (!notTaken.empty()) {
            m_strLastError += ": not taken: " + notTaken;
            m_lastFailure.systemText += " (not taken: " + notTaken + ")";
        }
    }
    if (resumed) SignalWriter();
}

void CSerialPort::Setup(uint32_t inputQueueSize, uint32_t outputQueueSize) {
    // The request is kept for GetProperties; a tty sizes its own queues.
    if (!RequireOpen("SetupComm()\n")) return;
    if (!m_hDevice->SetQueueSizes(inputQueueSize, outputQueueSize)) ProcessErrorMessage("SetupComm()\n");
    std::lock_guard lock(m_stateMutex);
    m_nInputQueueSize = inputQueueSize;
    m_nOutputQueueSize = outputQueueSize;
}

void CSerialPort::GetModemStatus(uint32_t& modemStatus) {
    if (!m_hDevice || !m_hDevice->GetModemStatus(modemStatus))
        ProcessErrorMessage("GetCommModemStatus()\n");
}

void CSerialPort::GetProperties(CommProperties& properties) {
    if (!RequireOpen("GetCommProperties()\n")) return;
    std::lock_guard lock(m_stateMutex);
    properties = CommProperties{};
    properties.currentRxQueue = m_nInputQueueSize;
    properties.currentTxQueue = m_nOutputQueueSize;
}

void CSerialPort::SignalReader() {
    if (m_hCommEvent) m_hCommEvent->Signal();
}

void CSerialPort::SignalWriter() {
    if (m_hWriteEvent) m_hWriteEvent->Signal();
}

}  // namespace quorlin
