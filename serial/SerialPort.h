#pragma once
// CSerialPort: one RS-232 port opened by number, with a reader thread that
// turns line events into messages for its owner and a writer thread that
// performs the device writes handed to it one block at a time.
//
// Use: Open, Init, StartMonitoring; then Write, Read, Init and Purge while
// reacting to the posted messages; finally Close (or a new Open).
//
// Threads:
// - Every public operation is meant for the owner's thread (the user
//   interface thread). Init may also be called from one other thread (the
//   worker that restores the line settings after a download); it takes
//   m_csRead then m_csWrite, as Open does, so it never overlaps a Read or a
//   device write.
// - The reader thread (ReadThread) reads the device into the port's own
//   input queue, acts on XON/XOFF and posts WM_SERIAL_RXDATA and, once per
//   Open, WM_SERIAL_DEVLOST (the device went away: unplugged, hung up, the
//   other side of a pty closed; later calls then fail harmlessly).
// - WM_SERIAL_TXEMPTY is posted by the thread that sees a block leave: the
//   writer, the caller of Write (a block the device took whole at once, no
//   XON/XOFF) or the reader (a block the writer had to drain). It is never
//   posted before the block's last byte was handed over, and always before
//   any RXDATA for bytes received after that. ISerialOwner::Post is therefore
//   called from all three threads and must only queue the message.
// - The writer thread (WriteThread, WriteFromBuf) performs the device writes
//   that Write leaves to it: with XON/XOFF every block, otherwise the part of
//   a block the device could not take at once.
// - Write never changes a block under a device write: if the previous block
//   has not been handed to the device yet, it first waits for that (or for
//   Purge, StopMonitoring or a lost device). With XON/XOFF stopped by the
//   other side that wait lasts until XON; the next block is then sent whole.
// - Read never waits for data.
// - StopMonitoring (and Close, Open, the destructor) keeps what has been
//   handed to the device: the other side can still take it after the port
//   is closed. It lets a block the writer has been given reach the device,
//   but never waits for a line held up by XOFF, a full device or a dead
//   line: a block the writer could not hand over then is dropped, with the
//   device's unsent output where the device keeps one (a UART; a pty passes
//   every byte on at once). Init purges everything, as before.
// - Flush is for the owner's thread (never from ISerialOwner::Post, which
//   runs on the port's threads): it waits until the block in the write
//   buffer has been handed to the device and the device has sent it, and
//   gives up after the time the queued bytes take at the line rate plus a
//   few seconds (XOFF held, dead line); a lost device ends it at once. A
//   host that closes right after its last Write calls Flush first.

// Errors of the platform calls go to ProcessErrorMessage with the name of the
// failed call and the operation returns as though it had succeeded; a closed
// port accepts every call and Read returns 0. LastError keeps the most recent
// one for diagnostics.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/CommTypes.h"
#include "serial/PortFailure.h"
#include "serial/SerialOwner.h"

namespace quorlin {

class SerialDevice;
class WakeEvent;

// Line events the owner can ask for in Init's event mask.
constexpr uint32_t EV_RXCHAR = 0x0001;   // a byte arrived
constexpr uint32_t EV_TXEMPTY = 0x0004;  // the last byte of a block has left

enum Handshake : uint8_t {
    HandshakeNone = 0,
    HandshakeCtsRts = 1,
    HandshakeCtsDtr = 2,
    HandshakeDsrRts = 3,
    HandshakeDsrDtr = 4,
    HandshakeXonXoff = 5,
};

class CSerialPort {
public:
    // bufferCapacity: the largest block one Write hands over at a time; fixed
    // for the life of the object.
    explicit CSerialPort(unsigned bufferCapacity = 1024);
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Closes first, then opens the device that the port map gives for port,
    // exclusively. Messages go to owner (may be null) with notifyParam as
    // their first parameter. Nothing is configured until Init.
    bool Open(ISerialOwner* owner, unsigned port, unsigned notifyParam);
    // parity is the letter of the line-settings text: n, o, e, m or s.
    void Init(unsigned baud, uint8_t parity, uint8_t dataBits, uint8_t stopBits,
              uint8_t handshake, uint32_t eventMask);
    // The same from texts, so that a stop value of "1.5" can be given.
    void Init(const char* baud, char parity, const char* dataBits, const char* stopBits,
              uint8_t handshake, uint32_t eventMask);
    void Close();
    bool IsOpen() const;

    bool StartMonitoring();
    void StopMonitoring();

    // A block longer than the buffer capacity is handed over in pieces of
    // the capacity, one after another; WM_SERIAL_TXEMPTY follows the last.
    // False when the block was refused (the failure also went to the error
    // hook): the port is closed, not monitored, or the device is gone.
    bool Write(const void* data, uint32_t length);
    bool WriteString(const char* text);
    uint32_t Read(void* buffer, uint32_t maximum);

    // Device operations.
    void Purge();  // drops both queues and the block not yet sent
    void Flush();  // waits, bounded, until everything written has been sent
    void Escape(uint32_t code);
    void GetStatus(CommStatus& status);
    void Set0Timeouts();
    void GetMask(uint32_t& mask);
    void SetMask(uint32_t mask);
    void GetState(CommState& state);
    void SetState(const CommState& state);
    void Setup(uint32_t inputQueueSize, uint32_t outputQueueSize);
    void GetModemStatus(uint32_t& modemStatus);
    void GetProperties(CommProperties& properties);

    // Modem lines and flow, each one Escape.
    void SetXOFF() { Escape(SETXOFF); }
    void SetXON() { Escape(SETXON); }
    void SetRTS() { Escape(SETRTS); }
    void ClearRTS() { Escape(CLRRTS); }
    void SetDTR() { Escape(SETDTR); }
    void ClearDTR() { Escape(CLRDTR); }
    void SetBREAK() { Escape(SETBREAK); }
    void ClearBREAK() { Escape(CLRBREAK); }

    unsigned BufferCapacity() const { return m_nBufferCapacity; }
    unsigned PortNumber() const { return m_nPort; }
    // True once the device has gone away (until the next Open or Close).
    bool IsDeviceLost() const;
    // "<failed call> (<system error text>)" of the last failure, "" if none.
    std::string LastError() const;
    // Why the last Open failed; kind None after a successful Open.
    PortFailure LastOpenFailure() const;

protected:
    static unsigned ReadThread(void* port);   // exit code 1
    static unsigned WriteThread(void* port);  // exit code 2
    static void WriteFromBuf(CSerialPort* port);

private:
    struct PullResult {
        size_t added = 0;  // bytes put into the input queue
        bool lost = false;
    };

    // False, with the failure reported to ProcessErrorMessage as operation,

    // while the port is closed: every device operation starts with it.

    bool RequireOpen(const char* operation);

    void ProcessErrorMessage(const char* operation);
    void Configure(const std::string& lineSettings, uint8_t handshake, uint32_t eventMask);
    bool HandOver(const uint8_t* data, uint32_t length, bool last);
    PullResult PullInput();
    void ResetLineState();
    // When bytes that are now queued should have left at the line rate,
    // with a margin for a slow start.
    std::chrono::steady_clock::time_point DeliveryDeadline(uint64_t bytes) const;
    void SignalReader();
    void SignalWriter();

    // Members named as the port's design names them come first.
    std::unique_ptr<SerialDevice> m_hDevice;  // null while closed
    std::unique_ptr<std::thread> m_pReaderThread;
    std::unique_ptr<std::thread> m_pWriterThread;
    uint32_t m_nWriteLength = 0;
    const unsigned m_nBufferCapacity;
    std::unique_ptr<uint8_t[]> m_pWriteBuffer;
    std::unique_ptr<WakeEvent> m_hWriteEvent;  // wakes the writer; null until the first Open
    std::unique_ptr<WakeEvent> m_hStopEvent;   // ends both threads; null until the first Open
    std::mutex m_csRead;
    std::mutex m_csWrite;
    ISerialOwner* m_pOwnerWnd = nullptr;
    unsigned m_nPort = 0;
    unsigned m_nNotifyParam = 0;

    // The stand-in for the device's comm events: wakes the reader for a
    // block that has left, a mask change, a lost device or room in the
    // input queue.
    std::unique_ptr<WakeEvent> m_hCommEvent;

    // Everything below is shared between the threads under m_stateMutex.
    // Lock order: m_csRead, m_csWrite, m_pullMutex, m_stateMutex.
    mutable std::mutex m_stateMutex;
    std::condition_variable m_stateChanged;
    bool m_bStopping = false;
    bool m_bReaderRunning = false;
    bool m_bWriterRunning = false;
    bool m_bBlockPending = false;   // m_pWriteBuffer holds a block for the writer
    bool m_bBlockIsLast = true;     // WM_SERIAL_TXEMPTY follows this block
    bool m_bWriterBusy = false;     // the writer is sending the pending block
    bool m_bChunkInFlight = false;  // the writer is inside a device write
    bool m_bWriterStalled = false;  // waiting for XON or room with bytes not handed over
    bool m_bWriterDraining = false;  // the whole block is in the device, being sent
    bool m_bWriterAwaitsReader = false;
    uint64_t m_nPurgeGeneration = 0;
    uint64_t m_nReaderPasses = 0;
    unsigned m_nTxEmptyDue = 0;     // blocks that have left, not yet posted
    uint32_t m_nEventMask = 0;
    bool m_bSoftwareFlow = false;   // handshake 5: DC3 stops output, DC1 resumes
    bool m_bOutputPaused = false;
    uint8_t m_nXonChar = 0x11;
    uint8_t m_nXoffChar = 0x13;
    bool m_bDeviceLost = false;
    bool m_bInputBackedUp = false;  // input queue full: the kernel holds the rest
    std::vector<uint8_t> m_inputQueue;
    CommState m_heldState;  // the parts of the settings termios cannot hold
    uint32_t m_nInputQueueSize = 0;
    uint32_t m_nOutputQueueSize = 0;
    std::string m_strLastError;
    PortFailure m_lastOpenFailure;

    std::mutex m_pullMutex;  // one reader of the device at a time
    // Held by the reader while it gathers a pass's events, by Write from its
    // device write to the TXEMPTY it posts, and by the writer from the piece
    // that ends a block to counting its TXEMPTY. Lock order: m_csWrite, m_postMutex, m_pullMutex,
    // m_stateMutex.
    std::mutex m_postMutex;
};

}  // namespace quorlin
