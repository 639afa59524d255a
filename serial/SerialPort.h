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
//   interface thread), and none of them waits on the line: Open, Close,
//   Init, Purge and Write return within milliseconds whatever the line does
//   (XOFF held, a full device, a dead line, a device server that does not
//   answer: its device connects in the background). Only Flush waits,
//   bounded, and Open waits for a drain of the same device (see Close),
//   bounded, and for a network device's connection where the port was
//   made with OpenConnectedPortDevice.
//   Init may also be called from one other thread (the worker that restores
//   the line settings after a download); it takes m_csRead then m_csWrite,
//   as Open does, so it never overlaps a Read or a device write.
// - The reader thread (ReadThread) reads the device into the port's own
//   input queue, acts on XON/XOFF and posts WM_SERIAL_RXDATA and, once per
//   Open, WM_SERIAL_DEVLOST (the device went away: unplugged, hung up, the
//   other side of a pty closed; later calls then fail harmlessly).
// - Write queues the block (in order, up to WriteQueueLimit bytes not yet
//   handed to the device; a block that would pass it is refused) and
//   returns. When nothing is queued, the device can take the block at once
//   and, with XON/XOFF, the block is at most one flow piece, no XOFF holds
//   the output and no input waits to be looked at, Write hands it to the
//   device itself: one thread switch less per block.
// - The writer thread (WriteThread, WriteFromBuf) sends the queue: with
//   XON/XOFF in pieces of at most kFlowChunk bytes, each only after pending
//   input was looked at, so that at most one piece leaves after an XOFF
//   reached the port.
// - WM_SERIAL_TXEMPTY follows every block once its last byte has left the
//   device (a pty: when it was handed over; a UART: when its output queue is
//   empty). It is posted by the thread that sees that (the caller of Write
//   or the writer), under m_postMutex, which the reader holds while it
//   gathers a pass: so it always comes before any WM_SERIAL_RXDATA for bytes
//   received after the block left. ISerialOwner::Post is therefore called
//   from all three threads and must only queue the message.
// - Read never waits for data.
// - Close (and Open, which closes first) keeps what was written: bytes
//   still queued or in the device's output move, with the device, to a
//   background drain (OutputDrain), which sends them in order, honouring
//   XON/XOFF, and then closes the device; it gives up on a line that stands
//   still for kDeliveryMargin, and ends at the latest after the bytes' line
//   time plus that margin. A later Open of the same device waits for the
//   drain, which ends as soon as its bytes have left. The destructor lets
//   go what the device has taken but gives up at once on bytes held by XOFF
//   or by a full device: a host that owes the controller its last bytes
//   calls Flush before. A host that wants queued bytes gone calls Purge
//   before Close. A network device that is still connecting has put
//   nothing on the line: Close drops what it was given.
// - Flush is for a host that may wait (the command-line tool; never from
//   ISerialOwner::Post, which runs on the port's threads): it waits until
//   everything written has been handed to the device and the device has
//   sent it, and gives up after the time the queued bytes take at the line
//   rate plus a few seconds (XOFF held, dead line); a lost device ends it.

// Errors: Open, StartMonitoring and Write say by their result whether they
// did what was asked. The configuration and device operations (Init, Purge,
// Flush, Escape, GetStatus ... GetProperties, the modem-line calls) and Read
// report success on purpose: the port's contract with the transfers is that
// they carry on and end by their own Cancel, so a failed call goes only to
// the error hook (ProcessErrorMessage) with the name of the failed call; a
// closed port accepts every call and Read returns 0. The hook keeps the most
// recent failure as a value (LastFailure), LastOpenFailure and
// LastConfigFailure say why the last Open or Init did not take.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/CommTypes.h"
#include "serial/PortDevice.h"
#include "serial/PortFailure.h"
#include "serial/SerialOwner.h"

namespace quorlin {

class OutputDrain;
class SerialDevice;
class WakeEvent;

// Line events the owner can ask for in Init's event mask.
#ifndef EV_RXCHAR  // where <windows.h> came first its macros stand for these
constexpr uint32_t EV_RXCHAR = 0x0001;   // a byte arrived
constexpr uint32_t EV_TXEMPTY = 0x0004;  // the last byte of a block has left
#endif

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
    // bufferCapacity: the largest block its user writes at a time; the write
    // queue holds at least one such block (see WriteQueueLimit).
    explicit CSerialPort(unsigned bufferCapacity = 1024);
    // The same, with openDevice in place of OpenPortDevice: it is given the
    // port map's target of the number that Open is asked for.
    CSerialPort(unsigned bufferCapacity, DeviceOpener openDevice);
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
    // Init that empties the input only: bytes written before still go out.
    // A device that shows no output queue (a pty, many USB adapters) cannot
    // tell whether the other side has taken them yet, and emptying its
    // output would throw them away.
    void InitKeepingOutput(unsigned baud, uint8_t parity, uint8_t dataBits, uint8_t stopBits,
                           uint8_t handshake, uint32_t eventMask);
    void Close();
    bool IsOpen() const;

    bool StartMonitoring();
    void StopMonitoring();

    // Queues the block and returns at once; WM_SERIAL_TXEMPTY follows it.
    // False when the block was refused (the failure also went to the error
    // hook): the port is closed, not monitored, the device is gone, or the
    // block would pass WriteQueueLimit.
    bool Write(const void* data, uint32_t length);
    bool WriteString(const char* text);
    uint32_t Read(void* buffer, uint32_t maximum);

    // Device operations; each reports success on purpose (see above).
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
    // Bytes written and not yet handed to the device that the port queues:
    // 64 KiB, or one block of the buffer capacity where that is larger.
    size_t WriteQueueLimit() const;
    unsigned PortNumber() const { return m_nPort; }
    // True once the device has gone away (until the next Open or Close).
    bool IsDeviceLost() const;
    // True while a device that connects after Open (a port on a device
    // server) is not up yet.
    bool IsConnecting() const;
    // The last failure that went to the error hook: the failed call as the
    // port's design names it, the system's error number and text; kind None
    // if there was none.
    PortFailure LastFailure() const;
    // The same as one line, "<failed call> (<system error text>)", "" if none.
    std::string LastError() const;
    // Why the last Open failed; kind None after a successful Open, unless
    // its device connects in the background (a port on a device server)
    // and never came up: then that device is lost, and this says why.
    PortFailure LastOpenFailure() const;
    // Why the device did not take the last line settings; kind None when it
    // took them (or the nearest it can do, such as a pty's 8 bits without
    // parity for 7 bits with parity).
    PortFailure LastConfigFailure() const;

protected:
    static unsigned ReadThread(void* port);   // exit code 1
    static unsigned WriteThread(void* port);  // exit code 2
    // What the writer waits for before its next pass.
    struct WriterWait {
        int what = 0;  // a DeviceWait
        std::chrono::milliseconds timeout{-1};
    };
    // Sends what it can of the queue; returns what to wait for.
    static WriterWait WriteFromBuf(CSerialPort* port);

private:
    struct PullResult {
        size_t added = 0;  // bytes put into the input queue
        bool lost = false;
    };

    // False, with the failure reported to ProcessErrorMessage as operation,
    // while the port is closed: every device operation starts with it.
    bool RequireOpen(const char* operation);

    void ProcessErrorMessage(const char* operation);
    enum class PurgeScope { Both, InputOnly };
    void Configure(const std::string& lineSettings, uint8_t handshake, uint32_t eventMask,
                   PurgeScope purge = PurgeScope::Both);
    void PurgeInput();
    // Hands a block of an empty queue to the device from the caller's thread;
    // false when the writer has to do it.
    bool WriteDirect(const uint8_t* data, uint32_t length);
    // Ends the front block after its last byte left: pops it and posts its
    // TXEMPTY, unless a purge since generation dropped it. Called with
    // m_postMutex held.
    void CompleteFrontBlock(uint64_t generation);
    void DropWriteQueue();  // under m_stateMutex
    PullResult PullInput();
    void ResetLineState();
    // Waits for (and forgets) the drains of the device at path; all of them
    // for an empty path.
    void WaitForDrains(const std::string& path);
    // When bytes that are now queued should have left at the line rate,
    // with a margin for a slow start.
    std::chrono::steady_clock::time_point DeliveryDeadline(uint64_t bytes) const;
    void SignalReader();
    void SignalWriter();

    const DeviceOpener m_openDevice;
    // Members named as the port's design names them come first.
    std::unique_ptr<SerialDevice> m_hDevice;  // null while closed
    std::unique_ptr<std::thread> m_pReaderThread;
    std::unique_ptr<std::thread> m_pWriterThread;
    uint32_t m_nWriteLength = 0;  // bytes queued and not yet handed to the device
    const unsigned m_nBufferCapacity;
    // The write queue: blocks in the order written; the front one is being
    // sent, m_nFrontSent of its bytes are in the device. The writer reads the
    // front block's bytes outside m_stateMutex only while m_bChunkInFlight;
    // nobody removes it meanwhile.
    std::deque<std::vector<uint8_t>> m_pWriteBuffer;
    size_t m_nFrontSent = 0;
    std::unique_ptr<WakeEvent> m_hWriteEvent;  // wakes the writer; null until the first Open
    std::unique_ptr<WakeEvent> m_hStopEvent;   // ends both threads; null until the first Open
    std::mutex m_csRead;
    std::mutex m_csWrite;
    ISerialOwner* m_pOwnerWnd = nullptr;
    unsigned m_nPort = 0;
    unsigned m_nNotifyParam = 0;

    // Wakes the reader for a mask change, a lost device or room in the
    // input queue.
    std::unique_ptr<WakeEvent> m_hCommEvent;
    std::string m_strDevicePath;  // of the open device
    // Closed sessions still sending their last bytes (see Close).
    std::vector<std::unique_ptr<OutputDrain>> m_drains;

    // Everything below is shared between the threads under m_stateMutex.
    // Lock order: m_csRead, m_csWrite, m_postMutex, m_pullMutex, m_stateMutex.
    mutable std::mutex m_stateMutex;
    std::condition_variable m_stateChanged;
    bool m_bStopping = false;
    bool m_bReaderRunning = false;
    bool m_bWriterRunning = false;
    bool m_bChunkInFlight = false;  // a device write from the queue or by Write is under way
    bool m_bWriterAwaitsReader = false;
    uint64_t m_nPurgeGeneration = 0;
    uint64_t m_nReaderPasses = 0;
    uint32_t m_nEventMask = 0;
    uint32_t m_nLineBaud = 0;       // as the device took it; 0 before Init
    bool m_bSoftwareFlow = false;   // handshake 5: DC3 stops output, DC1 resumes
    bool m_bOutputPaused = false;
    uint8_t m_nXonChar = 0x11;
    uint8_t m_nXoffChar = 0x13;
    bool m_bDeviceLost = false;
    bool m_bLossReported = false;   // WM_SERIAL_DEVLOST went out in this session
    bool m_bInputBackedUp = false;  // input queue full: the kernel holds the rest
    std::vector<uint8_t> m_inputQueue;
    CommState m_heldState;  // the parts of the settings termios cannot hold
    uint32_t m_nInputQueueSize = 0;
    uint32_t m_nOutputQueueSize = 0;
    std::string m_strLastError;
    PortFailure m_lastFailure;
    PortFailure m_lastOpenFailure;
    PortFailure m_lastConfigFailure;

    std::mutex m_pullMutex;  // one reader of the device at a time
    // Held by the reader while it gathers a pass's input, and by whoever
    // hands a block's last byte to the device until its TXEMPTY is posted.
    std::mutex m_postMutex;
};

}  // namespace quorlin
