#include "sim/Command.h"

#include <charconv>
#include <random>

namespace quorlin::sim {

namespace {

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

bool ParseCount(std::string_view text, std::size_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

ParseResult Fail(std::string error) { return ParseResult{Empty{}, std::move(error)}; }

// The rest of the line after the first word, as typed (paths may hold blanks).
std::string_view RestAfterFirstWord(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::string_view rest = line.substr(i);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\r' || rest.back() == '\t'))
        rest.remove_suffix(1);
    return rest;
}

ParseResult ParseExpect(const std::vector<std::string_view>& w) {
    if (w.size() == 2 && w[1] == "program") return ParseResult{ExpectProgram{}, {}};
    if (w.size() < 3 || w[1] != "download") return Fail("expect program | expect download stream|blocks ...");
    ExpectDownload expect;
    if (w[2] == "stream") expect.mode = DownloadMode::Stream;
    else if (w[2] == "blocks") expect.mode = DownloadMode::Blocks;
    else return Fail("expect download: stream or blocks, not '" + std::string(w[2]) + "'");
    for (std::size_t i = 3; i < w.size(); ++i) {
        if (w[i] == "answer" && i + 1 < w.size()) {
            const std::string_view a = w[++i];
            if (a == "10" || a == "0x10") expect.answer = 0x10;
            else if (a == "11" || a == "0x11") expect.answer = 0x11;
            else return Fail("answer: 10 or 11");
        } else if (w[i] == "noise" && i + 1 < w.size()) {
            if (!ParseHexBytes(w[++i], expect.noise)) return Fail("noise: hexadecimal bytes, e.g. 5A00FF");
        } else if (w[i] == "split") {
            expect.split = true;
        } else {
            return Fail("expect download: unknown word '" + std::string(w[i]) + "'");
        }
    }
    return ParseResult{expect, {}};
}

ParseResult ParseArm(const std::vector<std::string_view>& w, Trigger trigger, std::size_t atIndex) {
    Arm arm{trigger};
    if (w.size() == atIndex) return ParseResult{arm, {}};  // at once: 0 bytes
    if (w.size() < atIndex + 2 || w[atIndex] != "at" || !ParseCount(w[atIndex + 1], arm.atBytes))
        return Fail(std::string(w[0]) + ": expected 'at BYTES'");
    std::size_t i = atIndex + 2;
    if (trigger == Trigger::Dc3 && i + 1 < w.size() && w[i] == "resume") {
        std::size_t ms = 0;
        if (!ParseCount(w[i + 1], ms)) return Fail("dc3: resume MILLISECONDS");
        arm.resumeMs = static_cast<int>(ms);
        i += 2;
    }
    if (i != w.size()) return Fail(std::string(w[0]) + ": unexpected '" + std::string(w[i]) + "'");
    return ParseResult{arm, {}};
}

}  // namespace

bool ParseHexBytes(std::string_view text, std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> parsed;
    int high = -1;
    for (const char c : text) {
        if (c == ' ') continue;
        const int digit = HexDigit(c);
        if (digit < 0) return false;
        if (high < 0) {
            high = digit;
        } else {
            parsed.push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0 || parsed.empty()) return false;
    bytes = std::move(parsed);
    return true;
}

ParseResult ParseCommand(std::string_view line) {
    const auto w = Words(line);
    if (w.empty() || w[0].front() == '#') return ParseResult{Empty{}, {}};
    const std::string_view verb = w[0];
    if (verb == "send") {
        const std::string_view path = RestAfterFirstWord(line);
        if (path.empty()) return Fail("send: which file?");
        return ParseResult{SendProgram{std::string(path)}, {}};
    }
    if (verb == "send-all") {
        if (w.size() < 2) return Fail("send-all: which files?");
        SendPrograms send;
        for (std::size_t i = 1; i < w.size(); ++i) send.paths.emplace_back(w[i]);
        return ParseResult{send, {}};
    }
    if (verb == "take" && w.size() == 1) return ParseResult{TakeProgram{}, {}};
    if (verb == "expect") return ParseExpect(w);
    if (verb == "dc3") return ParseArm(w, Trigger::Dc3, 1);
    if (verb == "dc1") return ParseArm(w, Trigger::Dc1, 1);
    if (verb == "mark") return ParseArm(w, Trigger::Mark, 1);
    if (verb == "stall") return ParseArm(w, Trigger::Stall, 1);
    if (verb == "vanish") {
        if (w.size() < 2 || (w[1] != "close" && w[1] != "hangup")) return Fail("vanish close|hangup [at BYTES]");
        return ParseArm(w, w[1] == "close" ? Trigger::VanishClose : Trigger::VanishHangUp, 2);
    }
    if (verb == "await" && w.size() == 3 && w[1] == "pc-handshake" &&
        (w[2] == "none" || w[2] == "xonxoff" || w[2] == "rtscts"))
        return ParseResult{AwaitHandshake{std::string(w[2])}, {}};
    if (verb == "noise") {
        Noise noise;
        if (w.size() == 3 && w[1] == "random") {
            std::size_t count = 0;
            if (!ParseCount(w[2], count) || count == 0 || count > 65536) return Fail("noise random COUNT (1 to 65536)");
            std::mt19937 generator(std::random_device{}());
            for (std::size_t i = 0; i < count; ++i) noise.bytes.push_back(static_cast<std::uint8_t>(generator()));
            return ParseResult{noise, {}};
        }
        if (w.size() != 2 || !ParseHexBytes(w[1], noise.bytes)) return Fail("noise HEXBYTES | noise random COUNT");
        return ParseResult{noise, {}};
    }
    if (verb == "line" && w.size() == 2) {
        const auto settings = ParseLineSettings(w[1]);
        if (!settings) return Fail("line BAUD,PARITY,DATA,STOP, e.g. 115200,o,8,1");
        return ParseResult{SetLine{*settings}, {}};
    }
    if (verb == "pace" && w.size() == 2 && (w[1] == "on" || w[1] == "off"))
        return ParseResult{SetPace{w[1] == "on"}, {}};
    if (verb == "status" && w.size() == 1) return ParseResult{Status{}, {}};
    if ((verb == "quit" || verb == "exit") && w.size() == 1) return ParseResult{Quit{}, {}};
    if (verb == "help" && w.size() == 1) return ParseResult{Help{}, {}};
    return Fail("unknown command '" + std::string(line) + "' (try help)");
}

const char* CommandHelpText() {
    return R"(Commands (one per line on standard input or the --control FIFO):
  send FILE        send FILE's bytes to the PC in the family's protocol, then
                   SUB (Echo: one byte per echo from the PC). Start it after
                   the PC has begun its receive: opening the port discards
                   whatever arrived before.
  send-all FILE FILE ...
                   send the files one behind the other, each followed by
                   SUB, the next at once (a control's "punch all"); the
                   paths are separated by blanks and hold none
  take             ask for a program now (Xon: sends DC1; Echo and Block take
                   programs whenever they come, without asking)
  expect download stream|blocks [answer 10|11] [noise HEX] [split]
                   take the next download: a plain stream (ends when the PC
                   closes the port or after 2 s of silence) or blocks
                   (header 0x10, 32768 bytes, sum checked, answered with 0x10
                   or 0x11; with 11 the PC's verdict is read and reported;
                   noise HEX goes before every answer; split writes the
                   answer in two parts)
  expect program   back to taking programs (the default)
  dc3 at N [resume MS]   send DC3, ahead of any bytes queued for the PC, when
                   the transfer has moved N bytes (and DC1, also ahead,
                   MS milliseconds later)
  dc1 at N         send DC1 when the transfer has moved N bytes
  mark at N        report "reached N bytes" when the transfer has moved N bytes
  stall at N       stop answering and sending at N bytes (until the transfer
                   ends or another command starts one)
  vanish close [at N]    close the controller's side of the line (the port's
                   device goes away)
  vanish hangup [at N]   hang the line up (every opener of the port sees the
                   hang-up)
  await pc-handshake none|xonxoff|rtscts
                   report "pc-handshake H" once the PC's end of the line has
                   that flow control (an Xon receive sets none after
                   "Begin to receive file"; only then is it ready)
  noise HEX | noise random N   write these bytes to the PC now
  line B,P,D,S     line settings for pacing, e.g. 115200,o,8,1
  pace on|off      pace the controller's side at the line rate
  status           report counters
  help             this text
  quit             remove the port link and end
Triggers count the bytes of the running transfer: received while taking a
program or a download, sent while sending; they fire once.
)";
}

}  // namespace quorlin::sim
