#pragma once
// A host that keeps the log as a string, records the progress window and
// message boxes, and queues posted messages for the test to hand back.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "transfer/TransferEngine.h"
#include "transfer/TransferHost.h"

namespace quorlin::test {

struct ShownMessage {
    std::string text, caption;
    MessageBoxIcon icon;
};

class FakeHost final : public ITransferHost {
public:
    CommSettings settings;
    std::string log;
    bool busy = false;
    bool progressOpen = false;
    ProgressKind progressKind = ProgressKind::Sending;
    std::string progressPort, progressSystem, progressPath;
    uint64_t progressRange = 0, progressPos = 0, byteCount = 0;
    std::vector<uint64_t> byteCounts;
    std::vector<ShownMessage> messages;
    std::vector<PortFailure> portFailures;   // the reasons given with "Can not open COM%d !"
    std::vector<std::string> fileFailures;   // the reasons given with "Can't open the file!"
    // Called after each piece of log text is appended.
    std::function<void(std::string_view)> onLog;

    FakeHost() { settings.portList = {3, 5, 0, 0, 0}; }

    size_t LogLength() const override { return log.size(); }
    void EraseLogFront(size_t count) override { log.erase(0, count); }
    void AppendLogText(std::string_view text) override {
        log.append(text);
        if (onLog) onLog(text);
    }
    void ClearLog() override { log.clear(); }
    const CommSettings& Settings() const override { return settings; }
    void BusyChanged(bool b) override { busy = b; }
    void CreateProgress(ProgressKind kind, const std::string& port, const std::string& system,
                        const std::string& path) override {
        progressOpen = true;
        progressKind = kind;
        progressPort = port;
        progressSystem = system;
        progressPath = path;
        byteCounts.clear();
    }
    void SetProgressRange(uint64_t total) override { progressRange = total; }
    void SetProgressPos(uint64_t position) override { progressPos = position; }
    void SetByteCount(uint64_t count) override { byteCount = count; byteCounts.push_back(count); }
    void DestroyProgress() override { progressOpen = false; }
    void ShowMessage(const std::string& text, const std::string& caption, MessageBoxIcon icon) override {
        messages.push_back({text, caption, icon});
    }
    // Records the reason, then shows the message as every host does.
    void ShowPortOpenFailure(const std::string& text, const std::string& caption, const PortFailure& why) override {
        portFailures.push_back(why);
        ITransferHost::ShowPortOpenFailure(text, caption, why);
    }
    void ShowFileOpenFailure(const std::string& text, const std::string& caption, const FileFailure& why) override {
        fileFailures.push_back(why.text);
        ITransferHost::ShowFileOpenFailure(text, caption, why);
    }
    void Post(unsigned message, uintptr_t wParam, intptr_t lParam) override {
        {
            std::lock_guard l(m_mutex);
            m_queue.emplace_back(message, wParam, lParam);
        }
        m_posted.notify_all();
    }
    // The host's loop for a real port: hands messages to the engine as they
    // come until the transfer has ended; false when the deadline passed first.
    bool RunUntilEnded(TransferEngine& engine, std::chrono::seconds limit = std::chrono::seconds(10)) {
        return RunUntil(engine, [&] { return !engine.IsTransferring(); }, limit);
    }
    // The same until done() holds; false when the deadline passed first.
    template <typename Done>
    bool RunUntil(TransferEngine& engine, Done done, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            std::tuple<unsigned, uintptr_t, intptr_t> next;
            {
                std::unique_lock l(m_mutex);
                if (!m_posted.wait_until(l, deadline, [&] { return !m_queue.empty(); })) return done();
                next = m_queue.front();
                m_queue.pop_front();
            }
            Timed([&] { engine.HandleMessage(std::get<0>(next), std::get<1>(next), std::get<2>(next)); });
        }
        return true;
    }
    // The host's loop for a while, whatever comes (a line held up posts nothing).
    void RunFor(TransferEngine& engine, std::chrono::milliseconds span) {
        RunUntil(engine, [] { return false; }, span);
    }
    // Runs a call as the host's thread would and keeps the longest time any
    // such call took; returns this call's time.
    template <typename Call>
    std::chrono::microseconds Timed(Call call) {
        const auto start = std::chrono::steady_clock::now();
        call();
        const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
        if (took > longestCall) longestCall = took;
        return took;
    }
    std::chrono::microseconds longestCall{0};
    // Hands every queued message back to the engine, including those that
    // handling them posts.
    void Pump(TransferEngine& engine) {
        for (;;) {
            std::tuple<unsigned, uintptr_t, intptr_t> next;
            {
                std::lock_guard l(m_mutex);
                if (m_queue.empty()) return;
                next = m_queue.front();
                m_queue.pop_front();
            }
            engine.HandleMessage(std::get<0>(next), std::get<1>(next), std::get<2>(next));
        }
    }
    size_t Queued() const { std::lock_guard l(m_mutex); return m_queue.size(); }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::tuple<unsigned, uintptr_t, intptr_t>> m_queue;
};

}  // namespace quorlin::test
