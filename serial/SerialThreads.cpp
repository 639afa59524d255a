// CSerialPort: the reader and writer threads and the data path (Write, Read).
//
// The reader waits on the device and on m_hCommEvent; it moves received
// bytes into the port's own input queue (so that a full count can be posted
// and XON/XOFF can be acted on at once) and posts RXDATA and DEVLOST. The
// writer waits on m_hWriteEvent and sends one block at a time. Without
// XON/XOFF, a block that the device takes whole at once while the writer is
// idle is written by Write itself: a pty takes a block in a few microseconds
// and a thread switch costs as much.
//
// WM_SERIAL_TXEMPTY is posted by whoever sees the block leave: by Write or
// the writer at once when the device queue is empty after the last byte (a
// pty, or a UART that kept up), holding m_postMutex from that device write
// to the post; otherwise the writer drains the device, counts the block in
// m_nTxEmptyDue and the reader posts it, before any WM_SERIAL_RXDATA of the
// same pass. The reader gathers each pass under m_postMutex, so an answer to
// a block is never reported before the block's TXEMPTY.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "serial/SerialDevice.h"
#include "serial/SerialPort.h"

namespace quorlin {
namespace {

// With XON/XOFF the writer hands the device at most this many bytes at a
// time, so that a received XOFF stops the output within one such piece.
constexpr size_t kFlowChunk = 64;
// Bytes received and not yet read that the port holds before it leaves the
// rest in the kernel (whose input flow control then applies).
constexpr size_t kInputQueueLimit = 64 * 1024;
constexpr size_t kReadPiece = 4096;

enum class BlockOutcome { Sent, Abandoned, Lost, Failed };

}  // namespace

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
    return true;
}

void CSerialPort::StopMonitoring() {
    bool stuck, draining;
    {
        uint64_t queued = 0;
        {
            std::lock_guard state(m_stateMutex);
            if (m_bBlockPending) queued = m_nWriteLength;
        }
        uint32_t inDevice = 0;
        if (m_hDevice && m_hDevice->OutputWaiting(inDevice)) queued += inDevice;
        const auto deadline = DeliveryDeadline(queued);

        std::unique_lock state(m_stateMutex);
        // A block the writer has been given goes on to the device unless the
        // writer has to wait for the line (XOFF, no room): that one is stuck.
        // A block the device is still sending gets the time it needs.
        m_stateChanged.wait_until(state, deadline, [this] {
            return !m_bBlockPending || m_bWriterStalled || m_bDeviceLost || !m_bWriterRunning;
        });
        // From here on the writer starts no further device write; wait for
        // the one it may be inside (a non-blocking write, so brief).
        m_bStopping = true;
        m_stateChanged.wait(state, [this] { return !m_bChunkInFlight; });
        stuck = m_bBlockPending;
        draining = m_bWriterDraining;
    }
    m_stateChanged.notify_all();  // releases a Write waiting for hand-over
    // Only a stuck block is thrown away (the writer abandons it on the stop),
    // with the device's output where it still holds some: a line that does
    // not move would otherwise keep the drain, and the close after this, waiting.
    // Bytes already handed over are never flushed when nothing is stuck: on a
    // pty they wait in the other side's buffer and a flush would destroy them.
    uint32_t unsent = 0;
    if (stuck && m_hDevice &&
        (draining || (m_hDevice->OutputWaiting(unsent) && unsent > 0)) &&
        !m_hDevice->PurgeOutput())
        ProcessErrorMessage("PurgeComm()");
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
    std::lock_guard state(m_stateMutex);
    m_bReaderRunning = false;
    m_bWriterRunning = false;
    m_bBlockPending = false;
    m_bWriterBusy = false;
    m_bWriterAwaitsReader = false;
    m_bWriterStalled = false;
    m_bWriterDraining = false;
    m_nTxEmptyDue = 0;
    m_bStopping = false;
}

bool CSerialPort::WriteString(const char* text) {
    return Write(text, text ? static_cast<uint32_t>(std::strlen(text)) : 0);
}

bool CSerialPort::Write(const void* data, uint32_t length) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (length <= m_nBufferCapacity) return HandOver(bytes, length, true);
    // Longer than the buffer: in pieces, each after the previous one has been
    // handed to the device, so that nothing is cut off or overwritten.
    for (uint32_t offset = 0; offset < length; offset += m_nBufferCapacity) {
        const uint32_t piece = std::min<uint32_t>(m_nBufferCapacity, length - offset);
        if (!HandOver(bytes + offset, piece, offset + piece == length)) return false;
    }
    return true;
}

bool CSerialPort::HandOver(const uint8_t* data, uint32_t length, bool last) {
    uint64_t generation;
    bool direct;
    {
        std::unique_lock state(m_stateMutex);
        // The block in the buffer must not change while the writer sends it.
        m_stateChanged.wait(state, [this] {
            return !m_bBlockPending || m_bStopping || m_bDeviceLost || !m_bWriterRunning;
        });
        if (!m_hDevice || !m_bWriterRunning || m_bStopping || m_bDeviceLost) {
            state.unlock();
            errno = m_hDevice ? (m_bDeviceLost ? EIO : ESRCH) : EBADF;
            ProcessErrorMessage("WriteFile()");
            return false;
        }
        // Without XON/XOFF to watch, the block goes to the device from here
        // while the writer is idle: one thread switch less for every block.
        // What the device does not take at once is left to the writer.
        direct = !m_bSoftwareFlow && length > 0;
        m_bBlockPending = true;
        m_bWriterBusy = direct;
        generation = m_nPurgeGeneration;
        if (!direct) {
            if (length > 0) std::memcpy(m_pWriteBuffer.get(), data, length);
            m_nWriteLength = length;
            m_bBlockIsLast = last;
        }
    }
    if (!direct) {
        SignalWriter();
        return true;
    }

    std::unique_lock writeLock(m_csWrite);
    // Held from the device write to the post of its TXEMPTY: the reader cannot
    // report bytes that came in answer to this block before it.
    std::unique_lock postLock(m_postMutex);
    IoResult io{IoStatus::WouldBlock, 0, 0};
    bool mayWrite;
    {
        std::lock_guard state(m_stateMutex);
        mayWrite = !m_bStopping;
        m_bChunkInFlight = mayWrite;
    }
    if (mayWrite) io = m_hDevice->WriteSome(data, length);
    uint32_t queued = 0;
    const bool left = io.status == IoStatus::Done && io.count == length &&
                      m_hDevice->OutputWaiting(queued) && queued == 0;
    bool wakeReader = false, wakeWriter = false, postTxEmpty = false;
    {
        std::lock_guard state(m_stateMutex);
        m_bChunkInFlight = false;
        m_bWriterBusy = false;
        const uint32_t accepted = io.status == IoStatus::Done ? static_cast<uint32_t>(io.count) : 0;
        if (io.status == IoStatus::Lost || io.status == IoStatus::Failed || m_bStopping ||
            generation != m_nPurgeGeneration) {
            m_bBlockPending = false;
            if (io.status == IoStatus::Lost) {
                m_bDeviceLost = true;
                wakeReader = true;
            }
        } else if (left) {
            m_bBlockPending = false;
            postTxEmpty = last && (m_nEventMask & EV_TXEMPTY) != 0;
        } else {
            // The rest, possibly nothing but the wait for the device's queue
            // to empty, is the writer's.
            std::memcpy(m_pWriteBuffer.get(), data + accepted, length - accepted);
            m_nWriteLength = length - accepted;
            m_bBlockIsLast = last;
            wakeWriter = true;
        }
    }
    m_stateChanged.notify_all();
    if (postTxEmpty && m_pOwnerWnd) m_pOwnerWnd->Post(WM_SERIAL_TXEMPTY, m_nNotifyParam, 0);
    postLock.unlock();
    writeLock.unlock();
    if (io.status == IoStatus::Failed) {
        errno = io.error;
        ProcessErrorMessage("WriteFile()");
    }
    if (wakeReader) SignalReader();
    if (wakeWriter) SignalWriter();
    return io.status != IoStatus::Failed && io.status != IoStatus::Lost;
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
    bool lossReported = false;
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

        // What this pass reports is gathered under m_postMutex (so that every
        // block that has left before an answer to it was read is counted)
        // and posted after it, so that a slow owner holds up no writer.
        uint32_t mask;
        unsigned txEmpty;
        PullResult pulled;
        size_t waiting = 0;
        bool lost;
        {
            std::lock_guard postLock(port->m_postMutex);
            {
                std::lock_guard state(port->m_stateMutex);
                mask = port->m_nEventMask;
                txEmpty = port->m_nTxEmptyDue;
                port->m_nTxEmptyDue = 0;
            }
            const bool pull = watchDevice && (wait.deviceReady || wait.deviceGone);
            if (pull) pulled = port->PullInput();
            bool notifyWriter = false;
            {
                std::lock_guard state(port->m_stateMutex);
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
            }
            if (notifyWriter || lost) port->SignalWriter();
            if (lost) port->m_stateChanged.notify_all();
        }

        ISerialOwner* owner = port->m_pOwnerWnd;
        if (!owner) continue;
        if (mask & EV_TXEMPTY)
            for (unsigned i = 0; i < txEmpty; ++i)
                owner->Post(WM_SERIAL_TXEMPTY, port->m_nNotifyParam, 0);
        if (pulled.added > 0 && waiting > 0 && (mask & EV_RXCHAR))
            owner->Post(WM_SERIAL_RXDATA, port->m_nNotifyParam, static_cast<intptr_t>(waiting));
        if (lost && !lossReported) {
            lossReported = true;
            owner->Post(WM_SERIAL_DEVLOST, port->m_nNotifyParam, 0);
        }
    }
}

unsigned CSerialPort::WriteThread(void* arg) {
    auto* port = static_cast<CSerialPort*>(arg);
    for (;;) {
        const WaitResult wait =
            port->m_hDevice->Wait(*port->m_hStopEvent, *port->m_hWriteEvent, DeviceWait::None);
        if (wait.stopped) return 2;
        WriteFromBuf(port);
    }
}

void CSerialPort::WriteFromBuf(CSerialPort* port) {
    // Reset first, so that a Write arriving during this block causes one
    // more pass.
    port->m_hWriteEvent->Clear();
    uint32_t length;
    uint64_t generation;
    bool postTxEmpty;
    {
        std::lock_guard state(port->m_stateMutex);
        if (!port->m_bBlockPending || port->m_bWriterBusy) return;
        port->m_bWriterBusy = true;
        length = port->m_nWriteLength;
        generation = port->m_nPurgeGeneration;
        postTxEmpty = port->m_bBlockIsLast;
    }
    SerialDevice& device = *port->m_hDevice;
    const uint8_t* block = port->m_pWriteBuffer.get();
    BlockOutcome outcome = BlockOutcome::Sent;
    uint32_t offset = 0;
    std::unique_lock writeLock(port->m_csWrite);
    // Taken for the piece that ends the block: if the device queue is empty
    // after it, the block's TXEMPTY is counted before the reader can report
    // an answer to it (see HandOver).
    std::unique_lock postLock(port->m_postMutex, std::defer_lock);
    while (offset < length) {
        DeviceWait waitFor = DeviceWait::None;
        bool mayWrite = false;
        size_t piece = length - offset;
        bool gate = false;
        bool paced = false;
        uint64_t passes = 0;
        bool paused = false;
        {
            std::lock_guard state(port->m_stateMutex);
            port->m_bWriterStalled = false;
            if (port->m_bStopping || generation != port->m_nPurgeGeneration) {
                outcome = BlockOutcome::Abandoned;
                break;
            }
            if (port->m_bDeviceLost) {
                outcome = BlockOutcome::Lost;
                break;
            }
            if (port->m_bSoftwareFlow) {
                piece = std::min(piece, kFlowChunk);
                gate = port->m_bReaderRunning && !port->m_bInputBackedUp;
                paced = true;
                passes = port->m_nReaderPasses;
            }
            paused = port->m_bSoftwareFlow && port->m_bOutputPaused;
            mayWrite = !paused;
        }
        // With XON/XOFF the kernel is handed a piece only when its output
        // queue is short (a tty reports writable below 256 bytes), so that
        // what still leaves after an XOFF stays small on a real UART too.
        if (mayWrite && paced && !device.IsWritable()) {
            mayWrite = false;
            waitFor = DeviceWait::Writable;
        }
        // An XOFF may already be in the kernel's input: let the reader look at
        // it before handing over another piece.
        uint32_t unread = 0;
        if (mayWrite && gate && device.InputWaiting(unread) && unread > 0) {
            std::lock_guard state(port->m_stateMutex);
            if (port->m_nReaderPasses == passes) {
                port->m_bWriterAwaitsReader = true;
                mayWrite = false;
            }
        }
        if (mayWrite) {
            if (offset + piece == length && !postLock.owns_lock()) postLock.lock();
            {
                std::lock_guard state(port->m_stateMutex);
                if (port->m_bStopping || (port->m_bOutputPaused && port->m_bSoftwareFlow) ||
                    generation != port->m_nPurgeGeneration)
                    continue;  // decided again at the top
                port->m_bChunkInFlight = true;
            }
            const IoResult io = device.WriteSome(block + offset, piece);
            {
                std::lock_guard state(port->m_stateMutex);
                port->m_bChunkInFlight = false;
            }
            port->m_stateChanged.notify_all();
            if (io.status == IoStatus::Done) {
                offset += static_cast<uint32_t>(io.count);
                continue;
            }
            if (io.status == IoStatus::Lost) {
                outcome = BlockOutcome::Lost;
                break;
            }
            if (io.status == IoStatus::Failed) {
                errno = io.error;
                port->ProcessErrorMessage("WriteFile()");
                outcome = BlockOutcome::Failed;
                break;
            }
            waitFor = DeviceWait::Writable;
        }
        // Waiting for XON, for the reader or for room: do not hold up
        // configuration or the reader meanwhile. Waiting for the line (not
        // for the reader, which looks at once) is what StopMonitoring treats
        // as stuck.
        if (postLock.owns_lock()) postLock.unlock();
        writeLock.unlock();
        if (paused || waitFor == DeviceWait::Writable) {
            {
                std::lock_guard state(port->m_stateMutex);
                port->m_bWriterStalled = true;
            }
            port->m_stateChanged.notify_all();
        }
        const WaitResult wait = device.Wait(*port->m_hStopEvent, *port->m_hWriteEvent, waitFor);
        if (wait.woken) port->m_hWriteEvent->Clear();
        writeLock.lock();
        if (wait.deviceGone) {
            outcome = BlockOutcome::Lost;
            break;
        }
    }
    // A UART still shifts out what it holds; a pty returns at once. The
    // block counts as handed over only after this, so that a Write that
    // waited for it finds the block's WM_SERIAL_TXEMPTY already due.
    uint32_t queued = 0;
    const bool left = outcome == BlockOutcome::Sent && postLock.owns_lock() &&
                      device.OutputWaiting(queued) && queued == 0;
    if (!left && postLock.owns_lock()) postLock.unlock();
    if (outcome == BlockOutcome::Sent && !left) {
        // Every byte is in the device; wait until it has gone out, without
        // holding configuration up: a line held by CTS would keep the drain
        // waiting for good, and Init (which purges) or StopMonitoring ends it.
        writeLock.unlock();
        {
            std::lock_guard state(port->m_stateMutex);
            port->m_bWriterDraining = true;
        }
        if (!device.Drain()) port->ProcessErrorMessage("GetOverlappedResults() in WriteFile()");
        writeLock.lock();
        std::lock_guard state(port->m_stateMutex);
        port->m_bWriterDraining = false;
        if (port->m_bStopping || generation != port->m_nPurgeGeneration)
            outcome = BlockOutcome::Abandoned;  // purged while draining
    }
    bool postNow = false, wakeReader = outcome == BlockOutcome::Lost;
    {
        std::lock_guard state(port->m_stateMutex);
        port->m_bBlockPending = false;
        port->m_bWriterBusy = false;
        port->m_bWriterStalled = false;
        if (outcome == BlockOutcome::Sent && postTxEmpty) {
            if (left) {
                postNow = (port->m_nEventMask & EV_TXEMPTY) != 0;
            } else {
                ++port->m_nTxEmptyDue;  // drained: the reader reports it
                wakeReader = true;
            }
        }
        if (outcome == BlockOutcome::Lost) port->m_bDeviceLost = true;
    }
    port->m_stateChanged.notify_all();  // the next Write may fill the buffer
    // Still under m_postMutex: no answer to this block is reported before.
    if (postNow && port->m_pOwnerWnd)
        port->m_pOwnerWnd->Post(WM_SERIAL_TXEMPTY, port->m_nNotifyParam, 0);
    if (postLock.owns_lock()) postLock.unlock();
    writeLock.unlock();
    if (wakeReader) port->SignalReader();
}

}  // namespace quorlin
