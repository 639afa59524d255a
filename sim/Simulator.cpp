#include "sim/Simulator.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <dirent.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace quorlin::sim {

namespace {

constexpr std::size_t kReadChunk = 4096;
constexpr std::size_t kPacedChunk = 256;
constexpr auto kSplitPause = std::chrono::milliseconds(50);

// The time count characters of charTime each before end.
Clock::time_point CharsBefore(Clock::time_point end, std::chrono::nanoseconds charTime, std::size_t count) {
    return end - std::chrono::duration_cast<Clock::duration>(charTime * static_cast<long long>(count));
}

std::string Hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

std::string HexBytes(const std::uint8_t* data, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += Hex(data[i], 2);
    return text;
}

// The highest number of the files STEM-NNNN.* in `folder`, so that a new
// simulator on the same store folder adds files instead of replacing them.
int HighestStored(const std::string& folder, const std::string& stem) {
    int highest = 0;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind(stem + "-", 0) != 0) continue;
        highest = std::max(highest, std::atoi(name.c_str() + stem.size() + 1));
    }
    closedir(dir);
    return highest;
}

const char* ModeName(int mode) {
    static const char* const names[] = {"take-program", "send-program", "download-stream", "download-blocks"};
    return names[mode];
}

}  // namespace

Simulator::Simulator(const SimOptions& options, SimPty& pty, std::FILE* report)
    : options_(options),
      pty_(pty),
      report_(report),
      protocol_(ProtocolOfFamily(options.family)),
      taker_(protocol_),
      rxClock_(CharDuration(CurrentLine())),
      txClock_(CharDuration(CurrentLine())) {
    programsStored_ = HighestStored(options_.storeDir, "program");
    downloadsStored_ = HighestStored(options_.storeDir, "download");
}

void Simulator::Report(const std::string& line) {
    std::fputs(line.c_str(), report_);
    std::fputc('\n', report_);
    std::fflush(report_);
}

LineSettings Simulator::CurrentLine() const {
    if (options_.line) return *options_.line;
    if (mode_ == Mode::DownloadStream) return DownloadLine(options_.family, options_.baudIndex, options_.family == 2 ? 2 : 1);
    if (mode_ == Mode::DownloadBlocks) return DownloadLine(options_.family, options_.baudIndex, 3);
    return ProgramLine(options_.family, options_.baudIndex);
}

void Simulator::ApplyLine() {
    const auto duration = CharDuration(CurrentLine());
    if (duration != rxClock_.CharTime()) {
        rxClock_ = LineClock(duration);
        txClock_ = LineClock(duration);
    }
}

// ---------------------------------------------------------------- event loop

void Simulator::ReportReady() {
    Report("ready COM" + std::to_string(options_.com) + " " + pty_.Device() + " family " +
           std::to_string(options_.family) + " " + ProtocolName(protocol_) + " line " +
           FormatLineSettings(CurrentLine()) + " pace " + (options_.pace ? "on" : "off") + " store " +
           options_.storeDir);
}

void Simulator::Run(int controlFifo, bool readStdin, const sigset_t* waitMask,
                    const volatile std::sig_atomic_t* stop) {
    std::vector<LineReader> readers;
    if (readStdin) {
        fcntl(STDIN_FILENO, F_SETFL, fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
        readers.emplace_back(STDIN_FILENO);
    }
    if (controlFifo >= 0) readers.emplace_back(controlFifo);


    while (!quit_ && !*stop) {
        auto now = Clock::now();
        RunTimers(now);
        if (!txQueue_.empty() && !txBlocked_) WriteLine(now);

        std::vector<pollfd> fds;
        for (const auto& reader : readers) fds.push_back({reader.Descriptor(), POLLIN, 0});
        const std::size_t watchIndex = fds.size();
        if (pty_.WatchDescriptor() >= 0) fds.push_back({pty_.WatchDescriptor(), POLLIN, 0});
        const std::size_t lineIndex = fds.size();
        std::optional<Clock::time_point> wake = NextTimer();
        auto wakeAt = [&wake](Clock::time_point t) {
            if (!wake || t < *wake) wake = t;
        };
        if (pty_.IsOpen() && !vanished_) {
            short events = 0;
            const bool rxDue = !options_.pace || rxClock_.NextStart() <= now;
            if (rxDue) events |= POLLIN;
            else wakeAt(rxClock_.NextStart());
            if (!txQueue_.empty()) {
                if (txBlocked_) events |= POLLOUT;
                else if (options_.pace) wakeAt(txClock_.NextStart());
                else wakeAt(now);  // more to write at once
            }
            fds.push_back({pty_.Master(), events, 0});
        }

        timespec timeout{};
        timespec* timeoutPointer = nullptr;
        if (wake) {
            const auto wait = *wake > now ? *wake - now : Clock::duration::zero();
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            timeoutPointer = &timeout;
        }
        const int ready = ppoll(fds.data(), fds.size(), timeoutPointer, waitMask);
        if (ready < 0) {
            if (errno == EINTR) continue;
            Report("error poll: " + std::string(std::strerror(errno)));
            return;
        }
        now = Clock::now();

        // The line first, so that bytes the PC wrote before closing the port
        // are taken before its close is.
        if (fds.size() > lineIndex) {
            const short revents = fds[lineIndex].revents;
            if (revents & POLLOUT) txBlocked_ = false;
            if (revents & POLLIN) ReadLine(now);
        }
        if (pty_.WatchDescriptor() >= 0 && (fds[watchIndex].revents & POLLIN)) OnPortEvents(now);
        if (pcClosePending_) OnPortEvents(now);

        for (std::size_t i = 0; i < readers.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            std::vector<std::string> lines;
            const bool open = readers[i].ReadLines(lines);
            for (const auto& line : lines) {
                Execute(line);
                if (quit_) break;
            }
            if (!open) {
                const bool onlyChannel = readers.size() == 1;
                readers.erase(readers.begin() + static_cast<long>(i));
                if (onlyChannel) quit_ = true;
                break;
            }
        }
    }
}

void Simulator::ReadLine(Clock::time_point now) {
    std::size_t wanted = kReadChunk;
    if (options_.pace) {
        if (rxIdle_) rxClock_.Restart(now);
        wanted = rxClock_.Grant(now, kPacedChunk);
        if (wanted == 0) return;
    }
    // What the line holds before the read: a read that takes all of it
    // leaves the line idle, as one that wanted more does.
    int waiting = 0;
    if (options_.pace && ioctl(pty_.Master(), FIONREAD, &waiting) != 0) waiting = 0;
    std::uint8_t buffer[kReadChunk];
    const ssize_t n = read(pty_.Master(), buffer, wanted);
    const std::size_t got = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (options_.pace && got < wanted) rxClock_.Return(wanted - got);
    rxIdle_ = got < wanted || static_cast<std::size_t>(waiting) <= got;
    // Paced, the bytes' times on the line are their clock slots: while
    // bytes kept waiting the line was never idle, however late the simulator
    // woke; after an idle line the clock starts again when the next bytes
    // are read, which counts the simulator's lateness against the sender.
    const Clock::time_point lineEnd = options_.pace ? rxClock_.NextStart() : now;
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
        // With our own slave descriptor open this does not happen while the
        // pty lives; it would mean the line itself broke.
        Report("error line read: " + std::string(std::strerror(errno)));
        pty_.Close();
        vanished_ = true;
        return;
    }
    if (got > 0) {
        rxTotal_ += got;
        lastReceived_ = now;
        OnReceived(buffer, got, now, lineEnd);
    }
}

void Simulator::WriteLine(Clock::time_point now) {
    if (!pty_.IsOpen() || vanished_) {
        txQueue_.clear();
        return;
    }
    std::size_t count = txQueue_.size() < kReadChunk ? txQueue_.size() : kReadChunk;
    if (options_.pace) count = txClock_.Grant(now, count < kPacedChunk ? count : kPacedChunk);
    if (count == 0) return;
    std::uint8_t buffer[kReadChunk];
    std::copy_n(txQueue_.begin(), count, buffer);
    const ssize_t n = write(pty_.Master(), buffer, count);
    const std::size_t sent = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (options_.pace && sent < count) txClock_.Return(count - sent);
    // The bytes' times on the line: paced, their clock slots, as the
    // controller's UART sends what it holds however late its firmware runs;
    // but after a write the full line cut short, the first bytes the PC
    // makes room for go now, not at the slots they missed.
    const Clock::time_point lineEnd = !options_.pace || txLineHeld_ ? now : txClock_.NextStart();
    if (sent > 0) txLineHeld_ = false;
    if (sent < count) txBlocked_ = txLineHeld_ = true;
    txQueue_.erase(txQueue_.begin(), txQueue_.begin() + static_cast<long>(sent));
    txTotal_ += sent;
    if (mode_ == Mode::SendingProgram && sent > 0) {
        for (std::size_t i = 0; i < sent && !vanished_; ++i)
            CountTransferByte(now, CharsBefore(lineEnd, txClock_.CharTime(), options_.pace ? sent - 1 - i : 0));
        if (txQueue_.empty() && protocol_ != Protocol::Echo && sendPos_ == sendBytes_.size() && !vanished_)
            EndSend("sent program " + sendPath_ + " bytes " + std::to_string(sendBytes_.size()) + " elapsed-us " +
                    std::to_string(ElapsedMicros()) + " line-us " + std::to_string(LineMicros()));
    }
}

// A controller sends its flow-control characters ahead of the program bytes
// it has queued, as a UART sends XOFF ahead of its transmit buffer: a DC3
// must stop the PC now, not after the rest of the program.
void Simulator::EnqueueAhead(std::uint8_t control, Clock::time_point now) {
    if (vanished_) return;
    if (txQueue_.empty()) txClock_.Restart(now);
    txQueue_.push_front(control);
}

bool Simulator::InputWaiting() const {
    if (!pty_.IsOpen() || vanished_) return false;
    pollfd fd{pty_.Master(), POLLIN, 0};
    return poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN);
}

void Simulator::Enqueue(const std::uint8_t* data, std::size_t count, Clock::time_point now) {
    if (count == 0 || vanished_) return;
    if (txQueue_.empty()) txClock_.Restart(now);
    txQueue_.insert(txQueue_.end(), data, data + count);
}

void Simulator::OnPortEvents(Clock::time_point now) {
    int opens = 0;
    int closes = 0;
    if (pty_.WatchDescriptor() >= 0) pty_.ReadWatchEvents(opens, closes);
    for (int i = 0; i < opens; ++i) Report("port opened");
    for (int i = 0; i < closes; ++i) Report("port closed");
    pcOpeners_ += opens - closes;
    if (pcOpeners_ < 0) pcOpeners_ = 0;
    if (closes > 0 && pcOpeners_ == 0) pcClosePending_ = true;
    if (!pcClosePending_ || vanished_) return;
    if (opens > 0 || pcOpeners_ > 0) {  // opened again at once: nothing ended
        pcClosePending_ = false;
        pty_.ReleaseExclusive();
        return;
    }
    // Take what the PC wrote before it closed before ending anything.
    if (InputWaiting()) return;
    pcClosePending_ = false;
    pty_.ReleaseExclusive();
    switch (mode_) {
    case Mode::TakingProgram:
        if (taker_.Received() > 0) {
            Report("program abandoned after " + std::to_string(taker_.Received()) + " bytes received " +
                   std::to_string(taker_.Received()) + " elapsed-us " + std::to_string(ElapsedMicros()));
            taker_.TakeProgram();
            transferRunning_ = false;
        }
        break;
    case Mode::SendingProgram:
        EndSend("send abandoned after " + std::to_string(transferBytes_) + " bytes (port closed)");
        break;
    case Mode::DownloadStream:
    case Mode::DownloadBlocks:
        if (transferRunning_) FinishDownload("port closed");
        break;
    }
    stalled_ = false;
    (void)now;
}

// ------------------------------------------------------------------ receiving

void Simulator::OnReceived(const std::uint8_t* data, std::size_t count, Clock::time_point now,
                           Clock::time_point lineEnd) {
    // Byte i of the read finished on the line this long before the last one.
    const auto onLine = [&](std::size_t i) { return CharsBefore(lineEnd, rxClock_.CharTime(), options_.pace ? count - 1 - i : 0); };
    for (std::size_t i = 0; i < count; ++i)
        if (data[i] == kSUB && sentSinceCommand_) ++pcSubsSinceSend_;

    switch (mode_) {
    case Mode::TakingProgram:
        for (std::size_t i = 0; i < count && !vanished_; ++i) {
            if (taker_.Received() == 0) {
                if (data[i] == kSUB) {
                    Report("received SUB with no program");
                    continue;
                }
                StartTransfer(now);
                Report("program started pc-baud " + std::to_string(pty_.PcBaud()));
            }
            std::vector<std::uint8_t> reply;
            const bool complete = taker_.Feed(data[i], reply);
            if (!stalled_) Enqueue(reply, now);
            CountTransferByte(now, onLine(i));
            if (complete && !vanished_) StoreProgram(now);
        }
        break;
    case Mode::SendingProgram:
        for (std::size_t i = 0; i < count && !vanished_; ++i) {
            // A SUB is the PC's cancel, unless it answers the SUB that ends
            // one of the programs.
            const bool answersSub = awaitingEcho_ && sendPos_ > 0 && sendBytes_[sendPos_ - 1] == kSUB;
            if (data[i] == kSUB && !answersSub) {
                EndSend("send cancelled by pc after " + std::to_string(transferBytes_) + " bytes");
                return;
            }
            if (protocol_ == Protocol::Echo && awaitingEcho_) {
                awaitingEcho_ = false;
                if (sendPos_ == sendBytes_.size()) {
                    EndSend("sent program " + sendPath_ + " bytes " + std::to_string(sendBytes_.size()) +
                            " elapsed-us " + std::to_string(ElapsedMicros()));
                    return;
                }
                SendNextEchoByte(now);
            }
        }
        break;
    case Mode::DownloadStream:
        if (!transferRunning_) {
            StartTransfer(now);
            Report("download started pc-baud " + std::to_string(pty_.PcBaud()));
        }
        for (std::size_t i = 0; i < count && !vanished_; ++i) {
            stream_.push_back(data[i]);
            CountTransferByte(now, onLine(i));
        }
        break;
    case Mode::DownloadBlocks: {
        if (!transferRunning_) {
            StartTransfer(now);
            Report("download started pc-baud " + std::to_string(pty_.PcBaud()));
        }
        for (std::size_t i = 0; i < count && !vanished_; ++i) {
            std::vector<DownloadEvent> events;
            blocks_->Feed(data + i, 1, events);
            CountTransferByte(now, onLine(i));
            for (const auto& event : events) {
                if (const auto* block = std::get_if<BlockReceived>(&event)) {
                    Report("download block " + std::to_string(block->index) + " bytes " +
                           std::to_string(block->length) + " sum " + Hex(block->sum, 8) + " header " +
                           Hex(block->headerSum, 4) + (block->sumMatches ? " ok" : " bad") + " pc-baud " +
                           std::to_string(pty_.PcBaud()));
                    if (stalled_) continue;
                    std::vector<std::uint8_t> answer = download_.noise;
                    const Packet packet = MakeAnswer(download_.answer);
                    answer.insert(answer.end(), packet.begin(), packet.end());
                    if (download_.split) {
                        const std::size_t half = download_.noise.size() + kPacketSize / 2;
                        Enqueue(answer.data(), half, now);
                        splitRest_.assign(answer.begin() + static_cast<long>(half), answer.end());
                        splitAt_ = now + kSplitPause;
                    } else {
                        Enqueue(answer, now);
                    }
                    Report("download answer " + Hex(download_.answer, 2) + " block " + std::to_string(block->index));
                } else if (const auto* verdict = std::get_if<VerdictReceived>(&event)) {
                    Report("download verdict " + std::to_string(verdict->verdict) + " after block " +
                           std::to_string(verdict->afterBlock));
                } else if (const auto* other = std::get_if<UnexpectedPacket>(&event)) {
                    Report("download packet " + HexBytes(other->packet.data(), kPacketSize) + " unexpected");
                }
            }
        }
        break;
    }
    }
}

void Simulator::StoreProgram(Clock::time_point now) {
    const std::size_t blocks = taker_.Blocks();
    const std::size_t received = taker_.Received();
    const auto program = taker_.TakeProgram();
    const std::string path = StorePath("program", ++programsStored_, ".nc");
    if (WriteFile(path, program))
        Report("stored program " + path + " bytes " + std::to_string(program.size()) + " received " +
               std::to_string(received) + " blocks " + std::to_string(blocks) + " elapsed-us " +
               std::to_string(ElapsedMicros()) + " line-us " + std::to_string(LineMicros()));
    transferRunning_ = false;
    stalled_ = false;
    (void)now;
}

void Simulator::FinishDownload(const char* why) {
    const bool isBlocks = mode_ == Mode::DownloadBlocks;
    const std::vector<std::uint8_t>& data = isBlocks ? blocks_->Data() : stream_;
    const std::string path = StorePath("download", ++downloadsStored_, ".bin");
    std::string line = "stored download " + path + " bytes " + std::to_string(data.size()) + " received " +
                       std::to_string(transferBytes_);
    if (isBlocks) line += " blocks " + std::to_string(blocks_->Blocks()) + (blocks_->InBlock() ? " incomplete" : "");
    line += " elapsed-us " + std::to_string(ElapsedMicros()) + " ended-by " + why;
    if (WriteFile(path, data)) Report(line);
    BackToPrograms();
}

void Simulator::BackToPrograms() {
    mode_ = Mode::TakingProgram;
    blocks_.reset();
    stream_.clear();
    splitAt_.reset();
    transferRunning_ = false;
    stalled_ = false;
    ApplyLine();
}

// -------------------------------------------------------------------- sending

void Simulator::StartSend(const std::vector<std::string>& paths, Clock::time_point now) {
    std::vector<std::uint8_t> bytes;
    std::string named;
    for (const std::string& path : paths) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) {
            Report("error cannot open " + path + ": " + std::strerror(errno));
            return;
        }
        std::uint8_t buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(file);
        bytes.push_back(kSUB);
        named += (named.empty() ? "" : ",") + path;
    }
    if (mode_ != Mode::TakingProgram) BackToPrograms();
    taker_.TakeProgram();
    sendBytes_ = std::move(bytes);
    sendPath_ = named;
    sendPos_ = 0;
    mode_ = Mode::SendingProgram;
    sentSinceCommand_ = true;
    pcSubsSinceSend_ = 0;
    ApplyLine();
    StartTransfer(now);
    Report("sending program " + named + " bytes " + std::to_string(sendBytes_.size()));
    if (protocol_ == Protocol::Echo) {
        SendNextEchoByte(now);
    } else {
        Enqueue(sendBytes_, now);
        sendPos_ = sendBytes_.size();
    }
}

void Simulator::SendNextEchoByte(Clock::time_point now) {
    if (stalled_ || sendPos_ >= sendBytes_.size()) return;
    Enqueue(&sendBytes_[sendPos_++], 1, now);
    awaitingEcho_ = true;
    echoDeadline_ = now + std::chrono::milliseconds(options_.echoTimeoutMs);
}

void Simulator::EndSend(const std::string& outcome) {
    if (mode_ != Mode::SendingProgram) return;
    txQueue_.clear();
    awaitingEcho_ = false;
    sendBytes_.clear();
    sendPos_ = 0;
    mode_ = Mode::TakingProgram;
    transferRunning_ = false;
    stalled_ = false;
    Report(outcome);
}

// ------------------------------------------------------------------- triggers

void Simulator::StartTransfer(Clock::time_point now) {
    transferRunning_ = true;
    transferBytes_ = 0;
    transferFirst_ = transferLast_ = now;
    lineFirst_.reset();
}

void Simulator::CountTransferByte(Clock::time_point now, Clock::time_point onLine) {
    ++transferBytes_;
    transferLast_ = now;
    if (!lineFirst_) lineFirst_ = onLine;
    lineLast_ = onLine;
    FireTriggers(now);
}

void Simulator::FireTriggers(Clock::time_point now) {
    for (std::size_t i = 0; i < armed_.size();) {
        if (armed_[i].atBytes <= transferBytes_) {
            const Arm arm = armed_[i];
            armed_.erase(armed_.begin() + static_cast<long>(i));
            Fire(arm, now);
            if (vanished_) return;
        } else {
            ++i;
        }
    }
}

void Simulator::Fire(const Arm& arm, Clock::time_point now) {
    const std::string at = " at " + std::to_string(transferBytes_) + " bytes";
    switch (arm.trigger) {
    case Trigger::Dc3: {
        EnqueueAhead(kDC3, now);
        Report("sent DC3" + at);
        if (arm.resumeMs >= 0) resumeAt_ = now + std::chrono::milliseconds(arm.resumeMs);
        break;
    }
    case Trigger::Dc1: {
        EnqueueAhead(kDC1, now);
        Report("sent DC1" + at);
        break;
    }
    case Trigger::Mark: Report("reached " + std::to_string(transferBytes_) + " bytes"); break;
    case Trigger::Stall:
        stalled_ = true;
        txQueue_.clear();
        Report("stalled" + at);
        break;
    case Trigger::VanishClose:
    case Trigger::VanishHangUp:
        Report(std::string("vanished ") + (arm.trigger == Trigger::VanishClose ? "close" : "hangup") + at);
        Vanish(arm.trigger == Trigger::VanishHangUp);
        break;
    }
}

void Simulator::Vanish(bool hangUp) {
    txQueue_.clear();
    if (hangUp && !pty_.HangUp()) {
        Report("hang-up not allowed here; closed the line instead");
        hangUp = false;
    }
    if (!hangUp) pty_.Close();
    vanished_ = true;
    armed_.clear();
}

// --------------------------------------------------------------------- timers

std::optional<Clock::time_point> Simulator::NextTimer() const {
    std::optional<Clock::time_point> next;
    auto consider = [&next](Clock::time_point t) {
        if (!next || t < *next) next = t;
    };
    if (resumeAt_) consider(*resumeAt_);
    if (splitAt_) consider(*splitAt_);
    if (mode_ == Mode::SendingProgram && awaitingEcho_) consider(echoDeadline_);
    // The PC's line settings change without any event to wait on: look again
    // every few milliseconds, only while someone waits for them.
    if (!awaitHandshake_.empty()) consider(Clock::now() + std::chrono::milliseconds(5));
    if ((mode_ == Mode::DownloadStream || mode_ == Mode::DownloadBlocks) && transferRunning_ && !stalled_)
        consider(lastReceived_ + std::chrono::milliseconds(options_.streamGapMs));
    return next;
}

void Simulator::RunTimers(Clock::time_point now) {
    if (vanished_) return;
    if (!awaitHandshake_.empty() && pty_.PcHandshake() == awaitHandshake_) {
        Report("pc-handshake " + awaitHandshake_);
        awaitHandshake_.clear();
    }
    if (resumeAt_ && *resumeAt_ <= now) {
        resumeAt_.reset();
        EnqueueAhead(kDC1, now);
        Report("sent DC1 (resume)");
    }
    if (splitAt_ && *splitAt_ <= now) {
        splitAt_.reset();
        Enqueue(splitRest_, now);
        splitRest_.clear();
    }
    if (mode_ == Mode::SendingProgram && awaitingEcho_ && echoDeadline_ <= now)
        EndSend("send stalled after " + std::to_string(transferBytes_) + " bytes (no echo)");
    if ((mode_ == Mode::DownloadStream || mode_ == Mode::DownloadBlocks) && transferRunning_ && !stalled_ &&
        lastReceived_ + std::chrono::milliseconds(options_.streamGapMs) <= now && !InputWaiting())
        FinishDownload("silence");
}

// ------------------------------------------------------------------- commands

void Simulator::Execute(const std::string& line) {
    const ParseResult parsed = ParseCommand(line);
    if (!parsed.error.empty()) {
        Report("error " + parsed.error);
        return;
    }
    Execute(parsed.command);
}

void Simulator::Execute(const Command& command) {
    const auto now = Clock::now();
    if (vanished_ && !std::holds_alternative<Status>(command) && !std::holds_alternative<Quit>(command) &&
        !std::holds_alternative<Help>(command) && !std::holds_alternative<Empty>(command)) {
        Report("error the line is gone (vanished); only status, help and quit remain");
        return;
    }
    if (const auto* send = std::get_if<SendProgram>(&command)) {
        StartSend({send->path}, now);
    } else if (const auto* sendAll = std::get_if<SendPrograms>(&command)) {
        StartSend(sendAll->paths, now);
    } else if (std::holds_alternative<TakeProgram>(command)) {
        if (mode_ == Mode::SendingProgram) EndSend("send abandoned by command");
        if (mode_ != Mode::TakingProgram) BackToPrograms();
        taker_.TakeProgram();
        stalled_ = false;
        Enqueue(taker_.Start(), now);
        Report("taking program");
    } else if (std::holds_alternative<ExpectProgram>(command)) {
        if (mode_ == Mode::SendingProgram) EndSend("send abandoned by command");
        if ((mode_ == Mode::DownloadStream || mode_ == Mode::DownloadBlocks) && transferRunning_)
            FinishDownload("command");
        BackToPrograms();
        Report("expecting program");
    } else if (const auto* expect = std::get_if<ExpectDownload>(&command)) {
        if (mode_ == Mode::SendingProgram) EndSend("send abandoned by command");
        BackToPrograms();
        taker_.TakeProgram();
        download_ = *expect;
        mode_ = expect->mode == DownloadMode::Blocks ? Mode::DownloadBlocks : Mode::DownloadStream;
        if (mode_ == Mode::DownloadBlocks) blocks_ = std::make_unique<BlockDownload>();
        ApplyLine();
        Report(std::string("expecting download ") + (mode_ == Mode::DownloadBlocks ? "blocks" : "stream") +
               " answer " + Hex(download_.answer, 2) + " line " + FormatLineSettings(CurrentLine()));
    } else if (const auto* arm = std::get_if<Arm>(&command)) {
        static const char* const names[] = {"dc3", "dc1", "mark", "stall", "vanish close", "vanish hangup"};
        Report(std::string("armed ") + names[static_cast<int>(arm->trigger)] + " at " +
               std::to_string(arm->atBytes) + " bytes");
        if (arm->atBytes == 0) Fire(*arm, now);  // at once
        else armed_.push_back(*arm);
    } else if (const auto* await = std::get_if<AwaitHandshake>(&command)) {
        awaitHandshake_ = await->handshake;
        RunTimers(now);
    } else if (const auto* noise = std::get_if<Noise>(&command)) {
        Enqueue(noise->bytes, now);
        Report("noise sent " + std::to_string(noise->bytes.size()) + " bytes");
    } else if (const auto* line = std::get_if<SetLine>(&command)) {
        options_.line = line->line;
        ApplyLine();
        Report("line " + FormatLineSettings(line->line));
    } else if (const auto* pace = std::get_if<SetPace>(&command)) {
        options_.pace = pace->on;
        rxIdle_ = true;
        Report(std::string("pace ") + (pace->on ? "on" : "off"));
    } else if (std::holds_alternative<Status>(command)) {
        Report(std::string("status mode ") + (vanished_ ? "vanished" : ModeName(static_cast<int>(mode_))) +
               " transfer-bytes " + std::to_string(transferBytes_) + " rx " + std::to_string(rxTotal_) + " tx " +
               std::to_string(txTotal_) + " programs " + std::to_string(programsStored_) + " downloads " +
               std::to_string(downloadsStored_) + " pc-subs " + std::to_string(pcSubsSinceSend_) +
               " port-openers " + std::to_string(pcOpeners_));
    } else if (std::holds_alternative<Quit>(command)) {
        quit_ = true;
    } else if (std::holds_alternative<Help>(command)) {
        std::fputs(CommandHelpText(), report_);
        std::fflush(report_);
    }
}

// ---------------------------------------------------------------------- files

std::string Simulator::StorePath(const char* stem, int number, const char* extension) const {
    char name[64];
    std::snprintf(name, sizeof name, "%s-%04d%s", stem, number, extension);
    return options_.storeDir + "/" + name;
}

bool Simulator::WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    // Written under a temporary name and renamed, so whoever reacts to the
    // report line finds the whole file.
    const std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    bool ok = file != nullptr;
    if (ok && !bytes.empty()) ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file && std::fclose(file) != 0) ok = false;
    if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        Report("error cannot store " + path + ": " + std::strerror(errno));
        std::remove(temporary.c_str());
    }
    return ok;
}

long long Simulator::LineMicros() const {
    if (!lineFirst_) return 0;
    // As ElapsedMicros: the last character's own time is counted too.
    const auto line = lineLast_ - *lineFirst_ + (options_.pace ? rxClock_.CharTime() : Clock::duration::zero());
    return std::chrono::duration_cast<std::chrono::microseconds>(line).count();
}

long long Simulator::ElapsedMicros() const {
    auto elapsed = transferLast_ - transferFirst_;
    // Paced, the last character still takes its time on the line.
    if (options_.pace) elapsed += rxClock_.CharTime();
    return std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
}

}  // namespace quorlin::sim
