// Placeholder so that the core links while the port is being written.
#include "serial/SerialPort.h"
namespace quorlin {
CSerialPort::CSerialPort(unsigned) {}
CSerialPort::~CSerialPort() = default;
bool CSerialPort::Open(ISerialOwner*, unsigned, unsigned) { return false; }
void CSerialPort::Init(unsigned, uint8_t, uint8_t, uint8_t, uint8_t, uint32_t) {}
void CSerialPort::Init(const char*, char, const char*, const char*, uint8_t, uint32_t) {}
void CSerialPort::Close() {}
bool CSerialPort::IsOpen() const { return false; }
bool CSerialPort::StartMonitoring() { return false; }
void CSerialPort::StopMonitoring() {}
void CSerialPort::Write(const void*, uint32_t) {}
void CSerialPort::WriteString(const char*) {}
uint32_t CSerialPort::Read(void*, uint32_t) { return 0; }
void CSerialPort::Purge() {}
}  // namespace quorlin
