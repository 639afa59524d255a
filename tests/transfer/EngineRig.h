#pragma once
// A transfer engine on the tests' recording port and fake host, driven as the
// port's reader thread would drive it: bytes from the controller wait in the
// port and one WM_SERIAL_RXDATA tells how many; the engine's own re-posts are
// handed back until none is left.

#include <memory>
#include <string>

#include "serial/SerialOwner.h"
#include "tests/transfer/FakeHost.h"
#include "tests/transfer/RecordingPort.h"
#include "transfer/TransferEngine.h"

namespace quorlin::test {

class EngineRig {
public:
    explicit EngineRig(int sysType = 0) {
        UseFamily(sysType);
        auto owned = std::make_unique<RecordingPort>();
        port = owned.get();
        engine = std::make_unique<TransferEngine>(host, std::move(owned));
    }

    void UseFamily(int sysType, int baudRate = 0) {
        host.settings.sysType = sysType;
        host.settings.baudRate = baudRate;
        host.settings.baud = host.settings.BaudForIndex(baudRate);
    }
    // The controller sends bytes: they wait in the port, the reader posts.
    void ControllerSends(const std::string& bytes) {
        port->Feed(bytes);
        engine->HandleMessage(WM_SERIAL_RXDATA, 0, static_cast<intptr_t>(port->Waiting()));
        host.Pump(*engine);
    }
    void TxEmpty() {
        engine->HandleMessage(WM_SERIAL_TXEMPTY, 0, 0);
        host.Pump(*engine);
    }

    FakeHost host;
    RecordingPort* port = nullptr;
    std::unique_ptr<TransferEngine> engine;
};

}  // namespace quorlin::test
