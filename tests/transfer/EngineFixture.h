#pragma once
// An engine on a recording port and a fake host, with a temporary folder for
// real files and helpers that play the controller's side.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "serial/SerialOwner.h"
#include "serial/SerialPort.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/transfer/EngineRig.h"
#include "tests/transfer/FakeHost.h"
#include "tests/transfer/RecordingPort.h"
#include "transfer/TransferEngine.h"

namespace quorlin::test {

// Stands for one timestamp entry in an expected log.
inline const std::string kTimestamp = "<TS>";

// The log with every well-formed timestamp entry ("\r\n2026 12 07, 09:05:01   ")
// replaced by kTimestamp.
inline std::string MaskTimestamps(const std::string& log) {
    static const std::string shape = "\r\n#### ## ##, ##:##:##   ";
    std::string masked;
    for (size_t i = 0; i < log.size();) {
        bool match = i + shape.size() <= log.size();
        for (size_t k = 0; match && k < shape.size(); ++k) {
            const char c = log[i + k];
            match = shape[k] == '#' ? (c >= '0' && c <= '9') : c == shape[k];
        }
        if (match) {
            masked += kTimestamp;
            i += shape.size();
        } else {
            masked += log[i++];
        }
    }
    return masked;
}

// The log without the summary line that follows each end line ("FILE: N
// bytes sent ... (R bytes/s)"): the tests of the protocols compare the rest;
// LogTest looks at the summaries.
inline std::string WithoutSummaries(std::string log) {
    static const std::string tail = " bytes/s)\r\n";
    for (size_t at = log.find(tail); at != std::string::npos; at = log.find(tail)) {
        const size_t lineEnd = log.rfind("\r\n", at);
        const size_t start = lineEnd == std::string::npos ? 0 : lineEnd + 2;
        log.erase(start, at + tail.size() - start);
    }
    return log;
}

class EngineFixture : public ::testing::Test, protected EngineRig {
protected:
    void TearDown() override {
        engine.reset();
    }

    std::string MakeFile(const std::string& name, const std::string& bytes) {
        const std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool LogMatches(const std::string& expected) { return MaskTimestamps(WithoutSummaries(host.log)) == expected; }

    test::TemporaryFolder temporary{"quorlin-transfer"};
    const std::filesystem::path folder = temporary.Location();
};

}  // namespace quorlin::test
