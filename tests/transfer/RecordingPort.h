#pragma once
// A port that records what the engine does with it and serves the bytes a
// test plays as the controller. Init may come from the restore worker, so
// every member is guarded.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "transfer/TransferPort.h"

namespace quorlin::test {

struct LineInit {
    unsigned baud;
    uint8_t parity, dataBits, stopBits, handshake;
    uint32_t eventMask;
    bool operator==(const LineInit&) const = default;
};

class RecordingPort final : public ITransferPort {
public:
    // Every call in order: "Open 3", "Init", "Start", "Close", "Write", "Purge".
    std::vector<std::string> Calls() const { std::lock_guard l(m_mutex); return m_calls; }
    std::vector<std::string> Writes() const { std::lock_guard l(m_mutex); return m_writes; }
    std::string Written() const {
        std::lock_guard l(m_mutex);
        std::string all;
        for (const auto& w : m_writes) all += w;
        return all;
    }
    void ClearWrites() { std::lock_guard l(m_mutex); m_writes.clear(); }
    std::vector<LineInit> Inits() const { std::lock_guard l(m_mutex); return m_inits; }
    void SetOpenResult(bool ok) { std::lock_guard l(m_mutex); m_openResult = ok; }
    void SetOpenFailure(const PortFailure& why) {
        std::lock_guard l(m_mutex);
        m_openResult = false;
        m_openFailure = why;
    }
    // From the next Write on, the port refuses every block after taking
    // `taken` more (a full queue, a closed port); lost: as a gone device.
    void RefuseWritesAfter(size_t taken, bool lost = false) {
        std::lock_guard l(m_mutex);
        m_acceptLeft = taken;
        m_lost = lost;
    }
    void AcceptWrites() { RefuseWritesAfter(kAcceptAll); }
    void SetOutputWaiting(uint64_t bytes) { std::lock_guard l(m_mutex); m_outputWaiting = bytes; }
    void Feed(const std::string& bytes) {
        std::lock_guard l(m_mutex);
        m_input.insert(m_input.end(), bytes.begin(), bytes.end());
    }
    // Waits (bounded) until at least count Init calls were recorded.
    bool WaitForInits(size_t count, std::chrono::seconds limit = std::chrono::seconds(10)) {
        std::unique_lock l(m_mutex);
        return m_changed.wait_for(l, limit, [&] { return m_inits.size() >= count; });
    }

    bool Open(ISerialOwner*, unsigned port, unsigned) override {
        std::lock_guard l(m_mutex);
        m_calls.push_back("Open " + std::to_string(port));
        m_open = m_openResult;
        if (m_open) m_input.clear();
        return m_open;
    }
    void Init(unsigned baud, uint8_t parity, uint8_t dataBits, uint8_t stopBits, uint8_t handshake,
              uint32_t eventMask) override {
        {
            std::lock_guard l(m_mutex);
            m_calls.push_back("Init");
            m_inits.push_back({baud, parity, dataBits, stopBits, handshake, eventMask});
            m_input.clear();  // as a real port, Init empties the queues
        }
        m_changed.notify_all();
    }
    bool StartMonitoring() override { Record("Start"); return true; }
    void Close() override {
        std::lock_guard l(m_mutex);
        m_calls.push_back("Close");
        m_open = false;
    }
    bool IsOpen() const override { std::lock_guard l(m_mutex); return m_open; }
    bool Write(const void* data, uint32_t length) override {
        std::lock_guard l(m_mutex);
        if (m_acceptLeft == 0) {
            m_calls.push_back("Refused");
            return false;
        }
        if (m_acceptLeft != kAcceptAll) --m_acceptLeft;
        m_calls.push_back("Write");
        m_writes.emplace_back(static_cast<const char*>(data), length);
        return true;
    }
    bool WriteString(const char* text) override {
        return Write(text, static_cast<uint32_t>(std::string(text).size()));
    }
    uint32_t Read(void* buffer, uint32_t maximum) override {
        std::lock_guard l(m_mutex);
        uint32_t n = 0;
        auto* out = static_cast<char*>(buffer);
        while (n < maximum && !m_input.empty()) {
            out[n++] = m_input.front();
            m_input.pop_front();
        }
        return n;
    }
    void Purge() override {
        std::lock_guard l(m_mutex);
        m_calls.push_back("Purge");
        m_input.clear();
    }
    void Flush() override { Record("Flush"); }
    PortFailure LastOpenFailure() const override { std::lock_guard l(m_mutex); return m_openFailure; }
    bool IsDeviceLost() const override { std::lock_guard l(m_mutex); return m_lost; }
    uint64_t OutputWaiting() override { std::lock_guard l(m_mutex); return m_outputWaiting; }
    size_t Waiting() const { std::lock_guard l(m_mutex); return m_input.size(); }
    // Puts an entry of the test's own among the calls, to see what came between.
    void Note(const std::string& entry) { Record(entry.c_str()); }

private:
    void Record(const char* call) { std::lock_guard l(m_mutex); m_calls.push_back(call); }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_calls;
    std::vector<std::string> m_writes;
    std::vector<LineInit> m_inits;
    std::deque<char> m_input;
    bool m_openResult = true;
    bool m_open = false;
    static constexpr size_t kAcceptAll = static_cast<size_t>(-1);
    size_t m_acceptLeft = kAcceptAll;
    bool m_lost = false;
    PortFailure m_openFailure;
    uint64_t m_outputWaiting = 0;
};

}  // namespace quorlin::test
