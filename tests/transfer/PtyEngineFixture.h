#pragma once
// The engine on the real port over a pseudo-terminal, the controller played
// on the master end, with a temporary folder for the files of a transfer.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "tests/support/SerialTestSupport.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/transfer/FakeHost.h"
#include "transfer/SerialTransferPort.h"
#include "transfer/TransferEngine.h"

namespace quorlin::test {

// The COM number the pty is mapped to.
inline constexpr unsigned kPtyPort = 9;

class PtyEngineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.IsValid());
        ports.Link(kPtyPort, pty.SlavePath());
        host.settings.portList = {kPtyPort, 0, 0, 0, 0};
        host.settings.commPort = 0;
        engine = std::make_unique<TransferEngine>(host, std::make_unique<SerialTransferPort>());
    }
    std::string MakeFile(const std::string& name, const std::string& bytes) {
        const std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    PtyPair pty;
    PortsFolder ports;
    FakeHost host;
    TemporaryFolder temporary{"quorlin-transfer-pty"};
    const std::filesystem::path folder = temporary.Location();
    std::unique_ptr<TransferEngine> engine;
};

}  // namespace quorlin::test
