// CSerialPort: the reader and writer threads and the data path (Write, Read).
//
// The reader waits on the device and on m_hCommEvent; it moves received
// bytes into the port's own input queue (so that a full count can be posted
// and XON/XOFF can be acted on at once) and posts RXDATA and DEVLOST. The
// writer waits on m_hWriteEvent, on the device (room, or a UART's output
// queue running empty) and sends the write queue, block after block.
//
// Write queues a block and returns; when the queue is empty and the device
// can take the block at once, Write hands it over itself: a pty takes a
// block in a few microseconds and a thread switch costs as much.
//
// WM_SERIAL_TXEMPTY is posted by whoever sees a block's last byte leave the
// device (Write or the writer), holding m_postMutex from the device write (or
// the look at the empty output queue) to the post. The reader gathers each
// pass's input under m_postMutex, so an answer to a block is never reported
// before the block's TXEMPTY.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "serial/OutputDrain.h"
#include "serial/PortLimits.h"
#include "serial/SerialDevice.h"
#include "serial/SerialPort.h"

namespace quorlin {

using namespace port_limits;

bool CSerialPort::StartMonitoring() {
    if (!RequireOpen("CreateThread()")) return false;
    if (m_pReaderThread || m_pWriterThread) return true;  // already running
    {
        std::lock_guard state(m_stateMutex);
        m_bStopping = false;
        m_bReaderRunning = true;
        m_bWriterRunning = true;
    }
    try {
        m_pReaderThread = std::make_unique<std::thread>([this] { ReadThread(this); });
    } catch (const std::system_error&) {
        std::lock_guard state(m_stateMutex);
        m_bReaderRunning = false;
        m_bWriterRunning = false;
        ProcessErrorMessage("CreateThread()");
        return false;
    }
    try {
        m_pWriterThread = std::make_unique<std::thread>([this] { WriteThread(this); });
    } catch (const std::system_error&) {
        std::lock_guard state(m_stateMutex);
        m_bWriterRunning = false;
        ProcessErrorMessage("CreateThread()");
        return false;
    }
    SignalWriter();  // blocks left queued by an earlier StopMonitoring
    return true;
}

void CSerialPort::StopMonitoring() {
    {
        // From here on no thread starts another device write; the one that
        // may be under way is a non-blocking write, so this wait is brief.
        std::unique_lock state(m_stateMutex);
        m_bStopping = true;
        m_stateChanged.wait(state, [this] { return !m_bChunkInFlight; });
    }
    m_stateChanged.notify_all();  // a Flush waiting for the queue
    if (m_hStopEvent) m_hStopEvent->Signal();
    if (m_pReaderThread) {
        m_pReaderThread->join();
        m_pReaderThread.reset();
    }
    if (m_pWriterThread) {
        m_pWriterThread->join();
        m_pWriterThread.reset();
    }
    if (m_hStopEvent) m_hStopEvent->Clear();
    if (m_hWriteEvent) m_hWriteEvent->Clear();
    if (m_hCommEvent) m_hCommEvent->Clear();
    // The write queue stays: Close hands it to a drain, a new StartMonitoring
    // sends it on.
    std::lock_guard state(m_stateMutex);
    m_bReaderRunning = false;
    m_bWriterRunning = false;
    m_bWriterAwaitsReader = false;
    m_bStopping = false;
}

bool CSerialPort::WriteString(const char* text) {
    return Write(text, text ? static_cast<uint32_t>(std::strlen(text)) : 0);
}

size_t CSerialPort::WriteQueueLimit() const {
    return std::max<size_t>(kWriteQueueMinimum, m_nBufferCapacity);
}

bool CSerialPort::Write(const void* data, uint32_t length) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    int refusal = 0;
    bool direct = false;
    {
        std::lock_guard state(m_stateMutex);
        if (!m_hDevice) refusal = EBADF;
        else if (m_bDeviceLost) refusal = EIO;
        else if (!m_bWriterRunning || m_bStopping) refusal = ESRCH;
        else if (m_nWriteLength + static_cast<uint64_t>(length) > WriteQueueLimit()) refusal = ENOBUFS;
        if (refusal == 0) {
            direct = m_pWriteBuffer.empty() && length > 0 &&
                     (!m_bSoftwareFlow || (!m_bOutputPaused && length <= kFlowChunk));
            if (!direct) {
                m_pWriteBuffer.emplace_back(bytes, bytes + length);
                m_nWriteLength += length;
            }
        }
    }
    if (refusal != 0) {
        // Refused whole: nothing of the block goes, nothing queued before it
        // is touched.
        errno = refusal;
        ProcessErrorMessage("WriteFile()");
        return false;
    }
    if (direct) return WriteDirect(bytes, length);
    SignalWriter();
    return true;
}

bool CSerialPort::WriteDirect(const uint8_t* data, uint32_t length) {
    SerialDevice& device = *m_hDevice;
    std::unique_lock writeLock(m_csWrite);
    // Held from the device write to the post of its TXEMPTY: the reader cannot
    // report bytes that came in answer to this block before it.
    std::unique_lock postLock(m_postMutex);
    bool software;
    uint64_t generation;
    {
        std::lock_guard state(m_stateMutex);
        software = m_bSoftwareFlow;
        generation = m_nPurgeGeneration;
    }
    // With XON/XOFF the device is given a piece only when it has room and no
    // input waits that might hold an XOFF: the writer's rule.
    bool mayWrite = true;
    if (software) {
        const SerialDevice::Readiness ready = device.Ready();
        mayWrite = ready.writable && !ready.readable;
    }
    {
        std::lock_guard state(m_stateMutex);
        mayWrite = mayWrite && !m_bStopping && m_pWriteBuffer.empty() &&
                   generation == m_nPurgeGeneration && !(m_bSoftwareFlow && m_bOutputPaused);
        m_bChunkInFlight = mayWrite;
    }
    IoResult io{IoStatus::WouldBlock, 0, 0};
    if (mayWrite) io = device.WriteSome(data, length);
    uint32_t queued = 0;
    const bool left = io.status == IoStatus::Done && io.count == length &&
                      device.OutputWaiting(queued) && queued == 0;
    bool postTxEmpty = false, wakeWriter = false, lost = false;
    {
        std::lock_guard state(m_stateMutex);
        m_bChunkInFlight = false;
        if (io.status == IoStatus::Lost) {
            m_bDeviceLost = lost = true;
        } else if (io.status == IoStatus::Failed) {
            // Nothing of it went; reported below.
        } else if (left) {
            postTxEmpty = (m_nEventMask & EV_TXEMPTY) != 0;
        } else if (generation == m_nPurgeGeneration) {
            // The rest (possibly nothing but the wait for a UART's output
            // queue to empty) is the writer's, at the front of the queue.
            const uint32_t accepted = io.status == IoStatus::Done ? static_cast<uint32_t>(io.count) : 0;
            if (m_pWriteBuffer.empty()) m_nFrontSent = 0;
            m_pWriteBuffer.emplace_back(data + accepted, data + length);
            m_nWriteLength += length - accepted;
            wakeWriter = true;
        }
    }
    m_stateChanged.notify_all();
    if (postTxEmpty && m_pOwnerWnd) m_pOwnerWnd->Post(WM_SERIAL_TXEMPTY, m_nNotifyParam, 0);
    postLock.unlock();
    writeLock.unlock();
    if (io.status == IoStatus::Failed || lost) {
        errno = lost ? EIO : io.error;
        ProcessErrorMessage("WriteFile()");
    }
    if (lost) SignalReader();
    if (wakeWriter) SignalWriter();
    return io.status != IoStatus::Failed && !lost;
}

void CSerialPort::DropWriteQueue() {
    m_pWriteBuffer.clear();
    m_nFrontSent = 0;
    m_nWriteLength = 0;
}

uint32_t CSerialPort::Read(void* buffer, uint32_t maximum) {
    std::lock_guard readLock(m_csRead);
    if (!RequireOpen("ReadFile()")) return 0;
    bool readerRunning;
    {
        std::lock_guard state(m_stateMutex);
        readerRunning = m_bReaderRunning;
    }
    // Without the reader nobody else moves bytes from the device.
    if (!readerRunning) PullInput();
    bool wakeReader = false;
    uint32_t count;
    {
        std::lock_guard state(m_stateMutex);
        count = static_cast<uint32_t>(std::min<size_t>(maximum, m_inputQueue.size()));
        if (count > 0) {
            std::memcpy(buffer, m_inputQueue.data(), count);
            m_inputQueue.erase(m_inputQueue.begin(), m_inputQueue.begin() + count);
        }
        if (m_bInputBackedUp && m_inputQueue.size() < kInputQueueLimit) {
            m_bInputBackedUp = false;
            wakeReader = true;
        }
    }
    if (wakeReader) SignalReader();
    return count;
}

CSerialPort::PullResult CSerialPort::PullInput() {
    std::lock_guard pull(m_pullMutex);
    PullResult result;
    uint8_t piece[kReadPiece];
    for (;;) {
        size_t room;
        {
            std::lock_guard state(m_stateMutex);
            room = kInputQueueLimit - std::min(kInputQueueLimit, m_inputQueue.size());
            if (room == 0) {
                m_bInputBackedUp = true;
                break;
            }
        }
        const IoResult io = m_hDevice->ReadSome(piece, std::min(room, sizeof piece));
        if (io.status == IoStatus::Lost || io.status == IoStatus::Failed) {
            errno = io.error;
            if (io.status == IoStatus::Failed) ProcessErrorMessage("ReadFile()");
            result.lost = true;  // either way the device gives nothing more
            break;
        }
        if (io.status != IoStatus::Done || io.count == 0) break;
        const bool drained = io.count < std::min(room, sizeof piece);

        bool resumed = false;
        {
            std::unique_lock state(m_stateMutex);
            bool stopped = false;
            for (size_t i = 0; i < io.count; ++i) {
                const uint8_t byte = piece[i];
                if (m_bSoftwareFlow && byte == m_nXoffChar) {
                    m_bOutputPaused = true;
                    stopped = true;
                    resumed = false;
                } else if (m_bSoftwareFlow && byte == m_nXonChar) {
                    m_bOutputPaused = false;
                    resumed = true;
                } else {
                    m_inputQueue.push_back(byte);
                    ++result.added;
                }
            }
            // The XOFF takes effect before anything received after it is
            // reported: a device write already under way is let finish.
            if (stopped) m_stateChanged.wait(state, [this] { return !m_bChunkInFlight; });
        }
        if (resumed) SignalWriter();
        // A short read emptied the device; more input wakes the reader again.
        if (drained) break;
    }
    return result;
}

unsigned CSerialPort::ReadThread(void* arg) {
    auto* port = static_cast<CSerialPort*>(arg);
    for (;;) {
        bool watchDevice;
        {
            std::lock_guard state(port->m_stateMutex);
            watchDevice = !port->m_bDeviceLost && !port->m_bInputBackedUp;
        }
        const WaitResult wait = port->m_hDevice->Wait(
            *port->m_hStopEvent, *port->m_hCommEvent,
            watchDevice ? DeviceWait::Readable : DeviceWait::None);
        if (wait.stopped) return 1;  // the stop wins over any event
        if (wait.woken) port->m_hCommEvent->Clear();

        // The input of this pass is gathered under m_postMutex (so that every
        // block that left before an answer to it was read has had its
        // TXEMPTY posted) and reported after it, so that a slow owner holds
        // up no writer.
        uint32_t mask;
        PullResult pulled;
        size_t waiting = 0;
        bool reportLoss = false;
        {
            std::lock_guard postLock(port->m_postMutex);
            const bool pull = watchDevice && (wait.deviceReady || wait.deviceGone);
            if (pull) pulled = port->PullInput();
            bool notifyWriter = false, lost;
            {
                std::lock_guard state(port->m_stateMutex);
                mask = port->m_nEventMask;
                if (pull) {
                    waiting = port->m_inputQueue.size();
                    ++port->m_nReaderPasses;
                    notifyWriter = port->m_bWriterAwaitsReader;
                    port->m_bWriterAwaitsReader = false;
                    // A hang-up is final even when the last bytes were still
                    // there to read.
                    if (pulled.lost || wait.deviceGone) port->m_bDeviceLost = true;
                }
                lost = port->m_bDeviceLost;
                reportLoss = lost && !port->m_bLossReported;
                if (reportLoss) port->m_bLossReported = true;
            }
            if (notifyWriter || lost) port->SignalWriter();
            if (lost) port->m_stateChanged.notify_all();
        }

        ISerialOwner* owner = port->m_pOwnerWnd;
        if (!owner) continue;
        if (pulled.added > 0 && waiting > 0 && (mask & EV_RXCHAR))
            owner->Post(WM_SERIAL_RXDATA, port->m_nNotifyParam, static_cast<intptr_t>(waiting));
        if (reportLoss) owner->Post(WM_SERIAL_DEVLOST, port->m_nNotifyParam, 0);
    }
}

unsigned CSerialPort::WriteThread(void* arg) {
    auto* port = static_cast<CSerialPort*>(arg);
    WriterWait next;
    for (;;) {
        const WaitResult wait = port->m_hDevice->Wait(*port->m_hStopEvent, *port->m_hWriteEvent,
                                                      static_cast<DeviceWait>(next.what), next.timeout);
        if (wait.stopped) return 2;
        // Cleared before the queue is looked at, so that a Write arriving
        // during this pass causes one more.
        if (wait.woken) port->m_hWriteEvent->Clear();
        if (wait.deviceGone) {
            {
                std::lock_guard state(port->m_stateMutex);
                port->m_bDeviceLost = true;
                port->DropWriteQueue();
            }
            port->m_stateChanged.notify_all();
            port->SignalReader();
            next = {};
            continue;
        }
        next = WriteFromBuf(port);
    }
}

void CSerialPort::CompleteFrontBlock(uint64_t generation) {
    bool post = false;
    {
        std::lock_guard state(m_stateMutex);
        if (generation != m_nPurgeGeneration || m_pWriteBuffer.empty() ||
            m_nFrontSent < m_pWriteBuffer.front().size())
            return;  // purged meanwhile
        m_pWriteBuffer.pop_front();
        m_nFrontSent = 0;
        post = (m_nEventMask & EV_TXEMPTY) != 0;
    }
    m_stateChanged.notify_all();  // Flush
    if (post && m_pOwnerWnd) m_pOwnerWnd->Post(WM_SERIAL_TXEMPTY, m_nNotifyParam, 0);
}

CSerialPort::WriterWait CSerialPort::WriteFromBuf(CSerialPort* port) {
    SerialDevice& device = *port->m_hDevice;
    std::unique_lock writeLock(port->m_csWrite);
    for (;;) {
        size_t rest;
        bool software, gate;
        uint64_t passes, generation;
        uint32_t baud;
        {
            std::lock_guard state(port->m_stateMutex);
            if (port->m_bStopping || port->m_pWriteBuffer.empty()) return {};
            if (port->m_bDeviceLost) {
                port->DropWriteQueue();
                return {};
            }
            rest = port->m_pWriteBuffer.front().size() - port->m_nFrontSent;
            software = port->m_bSoftwareFlow;
            // Stopped by XOFF: the reader wakes the writer on XON.
            if (rest > 0 && software && port->m_bOutputPaused) return {};
            gate = software && port->m_bReaderRunning && !port->m_bInputBackedUp;
            passes = port->m_nReaderPasses;
            generation = port->m_nPurgeGeneration;
            baud = port->m_nLineBaud;
        }

        if (rest == 0) {
            // Every byte of the front block is in the device. A UART still
            // shifts them out: look again after their line time (there is
            // no event for an empty output queue). A pty has none.
            uint32_t queued = 0;
            if (device.OutputWaiting(queued) && queued > 0)
                return {static_cast<int>(DeviceWait::None),
                        std::clamp(LineTime(queued, baud), std::chrono::milliseconds(1),
                                   kLongestOutputLook)};
            if (!device.Drain()) {
                // A device that went away took the block's last bytes with
                // it: the block did not leave.
                if (errno == EIO) {
                    {
                        std::lock_guard state(port->m_stateMutex);
                        port->m_bDeviceLost = true;
                        port->DropWriteQueue();
                    }
                    port->m_stateChanged.notify_all();
                    writeLock.unlock();
                    port->SignalReader();
                    return {};
                }
                port->ProcessErrorMessage("GetOverlappedResults() in WriteFile()");
            }
            std::lock_guard postLock(port->m_postMutex);
            port->CompleteFrontBlock(generation);
            continue;
        }

        // With XON/XOFF the device is handed a piece only when its output
        // queue is short (a tty reports writable below 256 bytes), so that
        // what still leaves after an XOFF stays small on a UART too.
        const SerialDevice::Readiness ready =
            software ? device.Ready() : SerialDevice::Readiness{false, true};
        if (!ready.writable) return {static_cast<int>(DeviceWait::Writable), kWaitForever};
        // An XOFF may already be in the kernel's input: let the reader look
        // at it before handing over another piece.
        if (gate && ready.readable) {
            std::lock_guard state(port->m_stateMutex);
            if (port->m_nReaderPasses == passes) {
                port->m_bWriterAwaitsReader = true;
                return {};
            }
        }
        const size_t planned = software ? std::min(rest, kFlowChunk) : rest;
        // Taken for the piece that ends the block: if the device queue is
        // empty after it, the block's TXEMPTY is posted before the reader
        // can report an answer to it.
        std::unique_lock postLock(port->m_postMutex, std::defer_lock);
        if (planned == rest) postLock.lock();
        const uint8_t* data;
        {
            std::lock_guard state(port->m_stateMutex);
            if (port->m_bStopping || generation != port->m_nPurgeGeneration ||
                (port->m_bSoftwareFlow && port->m_bOutputPaused) || port->m_pWriteBuffer.empty())
                continue;  // decided again at the top
            data = port->m_pWriteBuffer.front().data() + port->m_nFrontSent;
            port->m_bChunkInFlight = true;
        }
        const IoResult io = device.WriteSome(data, planned);
        bool complete = false;
        {
            std::lock_guard state(port->m_stateMutex);
            port->m_bChunkInFlight = false;
            if (io.status == IoStatus::Done) {
                port->m_nFrontSent += io.count;
                port->m_nWriteLength -= static_cast<uint32_t>(io.count);
                complete = port->m_nFrontSent == port->m_pWriteBuffer.front().size();
            } else if (io.status == IoStatus::Lost) {
                port->m_bDeviceLost = true;
                port->DropWriteQueue();
            }
        }
        if (io.status == IoStatus::Failed) {
            // The failure goes to the error hook before the block is given
            // up: a Flush that finds the queue empty (one that only starts
            // now included) then finds the failure too.
            errno = io.error;
            port->ProcessErrorMessage("WriteFile()");
            std::lock_guard state(port->m_stateMutex);
            if (generation == port->m_nPurgeGeneration && !port->m_pWriteBuffer.empty()) {
                port->m_nWriteLength -= static_cast<uint32_t>(rest);
                port->m_pWriteBuffer.pop_front();
                port->m_nFrontSent = 0;
            }
        }
        port->m_stateChanged.notify_all();
        switch (io.status) {
            case IoStatus::Done: {
                uint32_t queued = 0;
                if (complete && postLock.owns_lock() && device.OutputWaiting(queued) && queued == 0)
                    port->CompleteFrontBlock(generation);
                continue;
            }
            case IoStatus::WouldBlock:
                return {static_cast<int>(DeviceWait::Writable), kWaitForever};
            case IoStatus::Lost:
                if (postLock.owns_lock()) postLock.unlock();
                writeLock.unlock();
                port->SignalReader();
                return {};
            case IoStatus::Failed:
                if (postLock.owns_lock()) postLock.unlock();
                continue;
        }
    }
}

}  // namespace quorlin
