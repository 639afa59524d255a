// Downloading controller software: a plain byte stream (pictures and update
// software of the older families) or 32 KiB blocks framed by 'Z','Z' packets
// and answered by the controller.

#include <algorithm>
#include <cstring>

#include "convert/ImageCheck.h"
#include "convert/SeekableFile.h"
#include "convert/UpdateFile.h"
#include "serial/SerialPort.h"
#include "transfer/LinePieces.h"
#include "transfer/TransferEngine.h"
#include "transfer/TransferTexts.h"

namespace quorlin {

namespace {

// The largest image read for a download: controller software is some
// hundred KiB; anything near this is no image for a controller.
constexpr uint64_t kLargestImage = 64ull << 20;

// The image file as the update-file checks read it.
class ImageFileView final : public SeekableFile {
public:
    explicit ImageFileView(TransferInputFile& file) : m_file(file) {}
    size_t Read(void* buffer, size_t count) override { return m_file.ReadRaw(buffer, count); }
    void Write(const void*, size_t) override {}  // the checks only read
    void Seek(uint64_t offset) override { m_file.Seek(offset); }
    uint64_t Position() const override { return m_file.Offset(); }
    uint64_t Length() override { return m_file.Length(); }

private:
    TransferInputFile& m_file;
};

}  // namespace

// Update files (system software, fonts): the header's checksum, which the
// check has compared with the payload; the blocks carry that payload.
// Pictures in blocks: the check accepts the bitmap, but its checksum covers
// offsets 50 on, while the blocks carry the pixel data from 1078 on. The
// verdict compares what was sent, so the expected sum is that of the pixel
// data: with the zero-filled last block a sound picture gets 1.
// A file the checks cannot read is no image to send.
bool TransferEngine::CheckDownloadImage(DownloadKind downloadKind) {
    ImageFileView file(m_imageIn);
    const ImageCheck check = quorlin::CheckDownloadImage(file, static_cast<int>(downloadKind));
    if (!check.accepted) return false;
    if (!GoesInBlocks(downloadKind)) return true;  // plain streams go out unchecked
    m_nExpectedSum = check.expectedSum;
    return !m_imageIn.Failed();
}

void TransferEngine::InitDownloadLine(DownloadKind downloadKind) {
    const CommSettings& settings = m_host.Settings();
    const uint32_t events = EV_RXCHAR | EV_TXEMPTY;
    if (downloadKind == DownloadKind::Interface) {
        InitLine(9600, 'o', 8, 1, HandshakeNone, events);
    } else if (downloadKind == DownloadKind::SoftwareP70) {
        InitLine(19200, 'n', 8, 1, HandshakeNone, events);
    } else {
        InitLine(static_cast<unsigned>(BlockBaud(settings.sysType, settings.baudRate)), 'o', 8, 1, HandshakeNone, events);
    }
}

void TransferEngine::DownloadFile(const std::string& path, DownloadKind downloadKind) {
    if (!OpenPort() || !FileOpened(m_imageIn.Open(path))) return;
    m_nDownloadKind = downloadKind;
    // One read of the image: the check and every block see the same bytes,
    // even when another program rewrites the file during the download.
    if (!m_imageIn.TakeSnapshot(kLargestImage) || !CheckDownloadImage(downloadKind)) {
        m_host.ShowMessage(texts::kNotUpdateFile, texts::kCaptionError, MessageBoxIcon::Error);
        m_imageIn.Close();
        return;
    }
    if (GoesInBlocks(downloadKind)) {
        // A new download starts with nothing seen: a 'Z' left over from a
        // cancelled one would make its first answer read as a packet of
        // command 'Z', and the download would wait for ever.
        m_scanner = ReplyScanner{};
        m_bAwaitReply = false;
        m_nSum = 0;
    }
    InitDownloadLine(downloadKind);
    m_strTransferPath = path;
    CreateProgressWindow(ProgressKind::Sending, path);
    SetSendTotal(m_imageIn.Length());
    m_host.SetByteCount(0);
    BeginTransfer(BeginKind::Download);
    SendNextDownloadPiece();
}

void TransferEngine::SendNextDownloadPiece() {
    if (GoesInBlocks(m_nDownloadKind))
        SendNextBlockPiece();
    else
        SendNextPlainPiece();
}

void TransferEngine::SendNextPlainPiece() {
    uint8_t piece[kLinePiece];
    const size_t got = m_imageIn.ReadRaw(piece, kLinePiece);
    if (got > 0) {
        if (!WriteToLine(piece, static_cast<uint32_t>(got))) return;
        ReportSendProgress(m_imageIn.Offset());
        return;
    }
    if (m_imageIn.Failed())
        FailTransfer(EndResult::SendReadFailed, texts::kSendReadFailedMessage);
    else
        FinishDownload();
}

void TransferEngine::SendNextBlockPiece() {
    uint8_t* buffer = m_pTransferBuffer.get();
    if (m_nBufferPos != kDownloadBlockSize) {
        const size_t pos = static_cast<size_t>(m_nBufferPos);
        if (m_nBufferPos > static_cast<int64_t>(kDownloadBlockSize - kLinePiece)) {
            if (!WriteToLine(buffer + pos, static_cast<uint32_t>(kDownloadBlockSize - pos))) return;
            m_nBufferPos = kDownloadBlockSize;
            m_bAwaitReply = true;
        } else {
            if (!WriteToLine(buffer + pos, kLinePiece)) return;
            m_nBufferPos += kLinePiece;
        }
        // The bytes of the file sent so far; the zeros behind a short last
        // block add nothing.
        ReportSendProgress(m_nBlockStart + std::min<uint64_t>(static_cast<uint64_t>(m_nBufferPos), m_nBlockBytes));
        return;
    }
    if (m_bAwaitReply) return;  // the controller's answer starts the next block

    m_nBufferPos = 0;
    // Zeros behind the file's last byte, not bytes of the block before, so
    // that the last block's sum is the sum of the image's own bytes.
    std::memset(buffer, 0, kDownloadBlockSize);
    m_nBlockStart = m_imageIn.Offset();
    const size_t got = m_imageIn.ReadRaw(buffer, kDownloadBlockSize);
    if (got == 0) {
        if (m_imageIn.Failed())
            FailTransfer(EndResult::SendReadFailed, texts::kSendReadFailedMessage);
        else
            FinishDownload();
        return;
    }
    m_nBlockBytes = static_cast<uint32_t>(got);
    const uint32_t blockSum = SumBytes(buffer, kDownloadBlockSize);
    m_nSum += blockSum;
    const DownloadPacket header = MakeBlockHeaderPacket(blockSum);
    if (WriteToLine(header.data(), static_cast<uint32_t>(header.size()))) ++m_record.blocks;
}

void TransferEngine::HandleDownloadReply(const uint8_t* bytes, size_t count) {
    const std::optional<DownloadPacket> packet = m_scanner.ScanReplyPacket(bytes, count);
    if (!packet) return;
    const uint8_t command = (*packet)[2];
    if (command == kPacketVerdict || command == kPacketBlock) m_lineClock.Carried();  // it has read the block
    if (command == kPacketVerdict) {
        const bool good = m_nSum == m_nExpectedSum;
        const DownloadPacket verdict = MakeVerdictPacket(good);
        if (!WriteToLine(verdict.data(), static_cast<uint32_t>(verdict.size()))) return;
        m_record.verdict = good ? 1 : 0;
        m_record.verdictAfter = m_record.blocks;
    } else if (command != kPacketBlock) {
        return;
    }
    m_host.Post(WM_SERIAL_TXEMPTY, 0, 0);
    m_bAwaitReply = false;
}

void TransferEngine::FinishDownload() {
    // Every byte went out, so the line comes back to its standard settings
    // whatever the controller made of them; but a download whose last
    // verdict was 0 did not arrive intact and is never reported completed.
    if (FinalVerdict() == 0) {
        FailTransfer(EndResult::DownloadRejected, texts::kDownloadRejectedMessage);
    } else {
        EndTransfer(EndResult::SendFileCompleted);
        DestroyProgressWindow();
    }
    // Where the port shows no output queue the end of the image may still
    // be on its way: the standard line comes back once it has left.
    m_restore.Start(*m_port, m_lineClock.FreeAt());
}

}  // namespace quorlin
