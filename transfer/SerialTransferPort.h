#pragma once
// The real port of a transfer: a CSerialPort with the transfer's write buffer.

#include "serial/SerialPort.h"
#include "transfer/LinePieces.h"
#include "transfer/TransferPort.h"

namespace quorlin {

class SerialTransferPort final : public ITransferPort {
public:
    SerialTransferPort() : m_port(kTransferWriteBuffer) {}
    // With openDevice in place of OpenPortDevice (OpenConnectedPortDevice
    // for a host that waits for a network port to be up before it goes on).
    explicit SerialTransferPort(DeviceOpener openDevice) : m_port(kTransferWriteBuffer, std::move(openDevice)) {}
    bool Open(ISerialOwner* owner, unsigned port, unsigned notifyParam) override {
        return m_port.Open(owner, port, notifyParam);
    }
    void Init(unsigned baud, uint8_t parity, uint8_t dataBits, uint8_t stopBits, uint8_t handshake,
              uint32_t eventMask) override {
        m_port.Init(baud, parity, dataBits, stopBits, handshake, eventMask);
    }
    void InitKeepingOutput(unsigned baud, uint8_t parity, uint8_t dataBits, uint8_t stopBits, uint8_t handshake,
                           uint32_t eventMask) override {
        m_port.InitKeepingOutput(baud, parity, dataBits, stopBits, handshake, eventMask);
    }
    bool StartMonitoring() override { return m_port.StartMonitoring(); }
    void Close() override { m_port.Close(); }
    bool IsOpen() const override { return m_port.IsOpen(); }
    bool Write(const void* data, uint32_t length) override { return m_port.Write(data, length); }
    bool WriteString(const char* text) override { return m_port.WriteString(text); }
    uint32_t Read(void* buffer, uint32_t maximum) override { return m_port.Read(buffer, maximum); }
    void Purge() override { m_port.Purge(); }
    void Flush() override { m_port.Flush(); }
    PortFailure LastOpenFailure() const override { return m_port.LastOpenFailure(); }
    bool IsConnecting() const override { return m_port.IsConnecting(); }
    bool IsDeviceLost() const override { return m_port.IsDeviceLost(); }
    uint64_t OutputWaiting() override {
        if (!m_port.IsOpen()) return 0;
        CommStatus status{};
        m_port.GetStatus(status);
        return status.outQueue;
    }
    bool IsOutputHeld() override {
        if (!m_port.IsOpen()) return false;
        CommStatus status{};
        m_port.GetStatus(status);
        return status.outputHeld;
    }

private:
    CSerialPort m_port;
};

}  // namespace quorlin
