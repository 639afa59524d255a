#pragma once
// The transfer engine: owns the serial port, keeps the transfer state and
// runs every send, receive and download as a chain of message-driven steps
// on its host's thread. Nothing in it waits; each step handles one message
// and returns. The application's communication view and the command-line
// tool host it unchanged through ITransferHost.

#include <cstdint>
#include <memory>
#include <string>

#include "serial/LineClock.h"
#include "serial/SerialOwner.h"
#include "transfer/ControllerFamily.h"
#include "transfer/DownloadPacket.h"
#include "transfer/RestoreWorker.h"
#include "transfer/TransferFile.h"
#include "transfer/TransferHost.h"
#include "transfer/TransferPort.h"

namespace quorlin {

// What the engine is doing (m_nTransferKind). A download is a SendFile of
// Protocol::Download.
enum class TransferKind : int { Idle = 0, SendFile = 1, SendDocument = 2, ReceiveFile = 3 };

// What BeginTransfer starts.
enum class BeginKind : unsigned {
    SendFile = 1,
    SendDocument = 2,
    Receive = 3,
    Download = 4,
    SendFileText = 5,  // a file's text prepared beforehand, sent as a document is
};

// A program sent from a chosen block or line on, behind its start.
struct ResumeSend {
    std::string text;       // what to send, line breaks as CR LF or LF
    std::string path;       // its file; empty for a document never saved
    bool ofDocument = true; // the open document's text rather than a file's
    std::string blockWord;  // the N word it resumes at; empty when it resumes at a line
    long line = 0;          // the line of the program it resumes at, from 1
};

// How a transfer ended (EndTransfer). SendFileCompleted to ReceiveCancelled
// are the ordinary ends; the others are ends that the line, the port, the
// disk or the controller force on a transfer.
enum class EndResult : unsigned {
    None = 0,
    SendFileCompleted = 1,
    SendDocumentCompleted = 2,
    ReceiveCompleted = 3,
    SendCancelled = 4,
    ReceiveCancelled = 5,
    PortLost = 6,
    ReceiveWriteFailed = 7,
    SendReadFailed = 8,
    WriteRefused = 9,
    SendStoppedByController = 10,  // Xon: DC3 from the controller
    DownloadRejected = 11,         // the last verdict was 0
};

// True for the results that end a transfer as completed.
constexpr bool IsCompletedResult(EndResult result) {
    return result == EndResult::SendFileCompleted || result == EndResult::SendDocumentCompleted ||
           result == EndResult::ReceiveCompleted;
}

class TransferEngine final : private ISerialOwner {
public:
    TransferEngine(ITransferHost& host, std::unique_ptr<ITransferPort> port);
    ~TransferEngine() override;
    TransferEngine(const TransferEngine&) = delete;
    TransferEngine& operator=(const TransferEngine&) = delete;

    // Port and log.
    bool OpenPort();
    void ClosePort();
    // Waits (bounded) until the bytes written so far have left the port; for
    // a host that closes the port right after a transfer.
    void FlushPort() { m_port->Flush(); }
    void AppendLog(const char* text);
    void BeginTransfer(BeginKind kind);
    void EndTransfer(EndResult result);

    // Entry operations.
    void SendFile(const std::string& path);
    // text: the open document's whole text, line breaks as CR LF; path: its
    // file name, empty for a document never saved.
    void SendCurrentFile(const std::string& text, const std::string& path);
    // Sends send.text as SendCurrentFile sends a document; the log says
    // where in the program it resumes, on a line of its own.
    void SendFrom(const ResumeSend& send);
    void ReceiveFile(const std::string& path);
    // For a host that takes program after program on one open port, as a
    // controller punches them back to back: starts the next receive on the
    // port as the last completed receive left it (nothing reopened, nothing
    // purged), beginning with the bytes that came behind that program's SUB.
    // Where there is no such port (it was closed or opened again, or the
    // last transfer was no completed receive), it is ReceiveFile.
    void ReceiveNext(const std::string& path);
    void DownloadFile(const std::string& path, DownloadKind downloadKind);

    // A message the host queued through Post, handed back on its thread.
    void HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
    // Cancel of the progress window (the window then removes itself).
    void OnSendDlgCancel();
    void OnReceiveDlgCancel();

    TransferKind TransferKindNow() const { return m_nTransferKind; }
    Protocol ProtocolNow() const { return m_nProtocol; }
    bool IsTransferring() const { return m_nTransferKind != TransferKind::Idle; }
    // The result of the last EndTransfer that ended a transfer; None before.
    EndResult LastEndResult() const { return m_nLastEndResult; }

    // What a host that gives up on a silent transfer watches: any change
    // means the transfer still moves. steps counts the bytes handed to the
    // line and the bytes stored from it (a download's zero padding and a
    // slow line's pieces included); outputWaiting the bytes the port still
    // holds, which fall while a slow line drains a block; lineFreeAt when
    // the line has carried what it was handed at its rate: until then the
    // line is at work, also where the port shows no output queue (a pty
    // takes 32 KiB at once, which take 34 s at 9600 baud).
    struct Activity {
        uint64_t steps = 0;
        uint64_t outputWaiting = 0;
        LineClock::Clock::time_point lineFreeAt{};
        bool operator==(const Activity&) const = default;
    };
    Activity LineActivity() const { return {m_nActivitySteps, m_port->OutputWaiting(), m_lineClock.FreeAt()}; }

    // What the running transfer waits for whenever it does not move, for a
    // host that tells the user why nothing happens.
    enum class Wait {
        Nothing,          // no transfer
        XoffHeld,         // the controller's XOFF holds the output until its DC1
        ControllerDc1,    // Xon send: the controller asks for each block with DC1
        BlockAnswer,      // block download: the answer packet to the block sent
        CharacterAnswer,  // Echo send: the answer to the character sent
        Data,             // bytes to arrive (receive) or to leave (send)
    };
    Wait WaitingFor() const;
    // The most the line can carry with the running transfer's settings, in
    // bytes a second (start, data, parity and stop bits); 0 when idle.
    double LineBytesPerSecond() const;

private:
    void Post(unsigned message, uintptr_t wParam, intptr_t lParam) override;

    void OnSerialRxData(intptr_t waiting);
    void OnSerialTxEmpty();
    void OnSerialDevLost();
    // Shows the progress window labelled with the configured port, family and path.
    void CreateProgressWindow(ProgressKind kind, const std::string& path);
    void DestroyProgressWindow();
    void FailTransfer(EndResult result, const std::string& message);
    // Ends the running transfer because its device went (or never came up).
    void FailPortLost();
    // Hands bytes to the port. A block the port refuses ends the running
    // transfer with a message (the port lost, or it would not take them):
    // false, and the caller's step stops there.
    bool WriteToLine(const void* data, uint32_t length);
    void FailWriteRefused();
    // True when the transfer's file opened; otherwise shows why, and false.
    bool FileOpened(const FileOutcome& opened);
    void ReportSendProgress(uint64_t position);
    void SetSendTotal(uint64_t total);
    // The line after the end line: what the transfer carried and how long
    // it took; for one that did not complete, how far it got.
    void AppendSummary(EndResult result);
    // Before a program transfer is logged: the family's own line settings.
    void PrepareProgramLine();
    // Sets the port's line and the line clock's rate.
    void InitLine(unsigned baud, uint8_t parity, uint8_t dataBits, uint8_t stopBits, uint8_t handshake,
                  uint32_t eventMask);

    // Send steps (Echo, Block, Xon), once for the file and once for the document.
    void SendText(const std::string& text, const std::string& path, BeginKind begin, const std::string& note);
    void StartSendProtocol();
    void SendNextChar();
    void SendNextCharFile();
    void SendNextCharDocument();
    void SendNextBlock();
    void SendNextBlockFile();
    void SendNextBlockDocument();
    void SendNextLines(bool stop);
    bool TakeNextXonLine(std::string& line);
    void FinishSend();

    // Receive steps.
    void StoreReceivedChar(uint8_t b);
    // Takes the chunk behind what is kept in m_strReceiveInput and stores
    // the input up to its first SUB.
    void StoreReceivedText(const char* chunk, size_t count);
    // Received while no transfer runs: kept for ReceiveNext when a completed
    // receive left the port as it was.
    void KeepIdleInput(const char* chunk, size_t count);
    void DropReceiveInput();
    bool StoreBytes(const char* bytes, size_t count);
    // SUB came: the program is complete and takes its file's place.
    void FinishReceive();

    // Download steps.
    bool CheckDownloadImage(DownloadKind downloadKind);
    void InitDownloadLine(DownloadKind downloadKind);
    void SendNextDownloadPiece();
    void SendNextPlainPiece();
    void SendNextBlockPiece();
    void HandleDownloadReply(const uint8_t* bytes, size_t count);
    // The verdict on the whole image: the one sent after the last block, or -1.
    int FinalVerdict() const { return m_record.verdictAfter == m_record.blocks ? m_record.verdict : -1; }
    void FinishDownload();

    ITransferHost& m_host;
    std::unique_ptr<ITransferPort> m_port;
    RestoreWorker m_restore;

    TransferKind m_nTransferKind = TransferKind::Idle;
    Protocol m_nProtocol = Protocol::None;
    DownloadKind m_nDownloadKind = DownloadKind::Interface;  // of the running (or last) download
    EndResult m_nLastEndResult = EndResult::None;
    uint64_t m_nActivitySteps = 0;
    LineClock m_lineClock;
    enum class Window { None, Sending, Receiving } m_progressWindow = Window::None;

    // What the running (or last) transfer carried, for its summary line.
    struct TransferRecord {
        LineClock::Clock::time_point start{};
        uint64_t lineBytes = 0;     // handed to the line
        uint64_t storedBytes = 0;   // program bytes received and stored
        uint64_t filePos = 0;       // how far into the file (or document) a send got
        uint64_t fileTotal = 0;
        uint64_t blocks = 0;        // block headers sent
        int verdict = -1;           // the verdict sent after the last block; -1 none was asked
        uint64_t verdictAfter = 0;  // the blocks sent when it was
        std::string keptAs;         // a receive that did not complete: its partial file
    } m_record;
    std::string m_strTransferPath;  // the file of the transfer; empty for a document never saved

    ProgramReader m_programIn;    // program being sent
    ProgramWriter m_programOut;   // program being received
    TransferInputFile m_imageIn;  // image being downloaded

    std::string m_strSendText;
    int64_t m_nBufferPos = 0;
    int64_t m_nBufferLength = 0;
    std::unique_ptr<uint8_t[]> m_pTransferBuffer;

    // The last character each Echo step sent; kept from one transfer to the next.
    char m_cLastFileChar = 0;
    char m_cLastDocumentChar = 0;
    // Received bytes that no receive has taken yet: those behind a
    // program's SUB in the read that brought it (the start of the next
    // program of a controller that sends several at once), and, while
    // m_bReceiveInputKept, what came after it before the next receive began.
    std::string m_strReceiveInput;
    // The last receive completed and the port has stayed open since.
    bool m_bReceiveInputKept = false;
    // Cleaned bytes of an Xon line that did not fit the previous block.
    std::string m_strXonCarry;

    // Block download.
    bool m_bAwaitReply = false;
    uint32_t m_nSum = 0;
    uint32_t m_nExpectedSum = 0;
    uint64_t m_nBlockStart = 0;   // file offset of the current block's first byte
    uint32_t m_nBlockBytes = 0;   // bytes of the file in the current block
    ReplyScanner m_scanner;
};

}  // namespace quorlin
