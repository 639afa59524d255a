#pragma once
// The connection behind a network port: its socket and, over RFC 2217, the
// telnet state of the com-port option. The device and the thread that
// connects it share one NetworkLink; every member is used under its mutex.
//
// The link goes through three phases: Connecting (the connector resolves the
// address, connects and settles the telnet options; nobody else touches the
// socket), Up (the device reads and writes) and Gone (connecting failed, or
// the connection closed or broke later). Settled is signalled when the
// connecting ends, either way.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "serial/CommTypes.h"
#include "serial/PortFailure.h"
#include "serial/SerialDevice.h"

struct telnet_t;
union telnet_event_t;

namespace quorlin {

enum class LinkPhase { Connecting, Up, Gone };

// The socket's result as an IoResult: a count, or why nothing moved.
IoResult FromSocket(ssize_t result);

class NetworkLink {
public:
    explicit NetworkLink(bool rfc2217);
    ~NetworkLink();
    NetworkLink(const NetworkLink&) = delete;
    NetworkLink& operator=(const NetworkLink&) = delete;

    // Everything below is for a holder of mutex.
    mutable std::mutex mutex;

    bool UsesTelnet() const { return m_telnet != nullptr; }
    int Socket() const { return m_socket; }
    // Takes over a connected socket; it is closed with the link.
    void Attach(int socket) { m_socket = socket; }

    LinkPhase Phase() const { return m_phase; }
    bool IsGone() const { return m_phase == LinkPhase::Gone; }
    int GoneError() const { return m_goneError; }
    // Ends the connecting: Up, unless the link went meanwhile.
    void Settle();
    // The call the connector is making, such as "connect() to HOST:PORT":
    // what a failure while connecting names.
    void SetConnectCall(std::string call) { m_connectCall = std::move(call); }
    // The connection is gone for error (with text in place of the system's
    // own where given). While connecting, that is the port's open failure.
    void Lose(int error, const std::string& text = {});
    // The server broke the rules or set the line otherwise than asked: the
    // link is gone, and what is the server names it ("set the line to 4800
    // baud, not 9600"). Before any data went, that is why the port could
    // not be opened: nothing reached the machine.
    void Fault(const std::string& what);
    // Why the link never came up (or came up and was refused before any data
    // went); kind None when it did or is still trying.
    const PortFailure& OpenFailure() const { return m_openFailure; }
    // Data is on its way to the server from now on.
    void NoteData() { m_dataSent = true; }

    // Offers the com-port option and binary transmission.
    void OfferOptions();
    // Whether the server has taken or refused the com-port option.
    bool ComPortSettled() const { return m_comPortTaken || m_comPortRefused; }
    bool ComPortRefused() const { return m_comPortRefused; }
    // Hands bytes from the socket to the telnet layer: data gathers in
    // Received(), answers in the bytes waiting to be sent.
    void Decode(const unsigned char* raw, size_t size);
    std::vector<unsigned char>& Received() { return m_received; }
    // Escapes data for the telnet line; it leaves with Push.
    void Encode(const void* data, size_t size);

    // The settings as asked, with the server's answers in place.
    const CommState& State() const { return m_state; }
    // Asks the server for state: at once where the option is taken,
    // otherwise as soon as the server takes it.
    void AskSettings(const CommState& state);
    // One SET-CONTROL or PURGE-DATA command, where the option is taken.
    void SendControl(unsigned char value);
    void SendPurge(unsigned char what);
    uint32_t ModemState() const { return m_modemState; }
    // Whether a line setting sent has not been answered yet, and when the
    // oldest such was asked for (only while one is).
    bool AwaitsAnswers() const { return !m_unanswered.empty(); }
    std::chrono::steady_clock::time_point OldestAsk() const { return m_unanswered.front().at; }
    // The name of the oldest unanswered setting ("SET-BAUDRATE").
    std::string OldestAskName() const;

    bool HasPending() const { return !m_pending.empty(); }
    // Hands the bytes waiting to be sent to the socket as far as it takes
    // them; false when the connection is gone.
    bool Push();
    // Bytes this side holds that have not left: waiting here or in the
    // socket's queue.
    uint32_t Unsent() const;

private:
    static void OnTelnetEvent(telnet_t*, telnet_event_t* event, void* self);
    void OnTelnetEvent(const telnet_event_t& event);
    void OnComPortAnswer(const unsigned char* data, size_t size);
    void SendComPort(unsigned char command, const unsigned char* value, size_t size);
    void SendSettings();
    // Compares an answer with what was asked of command: another value is a fault.
    void CheckAnswer(unsigned char command, uint32_t value);

    int m_socket = -1;
    telnet_t* m_telnet = nullptr;
    LinkPhase m_phase = LinkPhase::Connecting;
    int m_goneError = 0;
    PortFailure m_openFailure;
    std::string m_connectCall = "connect()";
    // Bytes the telnet layer (or Encode) made that the socket has not taken.
    std::vector<unsigned char> m_pending;
    // Data the telnet layer decoded that has not been read.
    std::vector<unsigned char> m_received;
    bool m_comPortTaken = false;  // the server said DO to the option
    bool m_comPortRefused = false;
    bool m_settingsAsked = false;
    bool m_dataSent = false;
    struct Asked {
        unsigned char command;
        uint32_t value;
        std::chrono::steady_clock::time_point at;
    };
    std::deque<Asked> m_unanswered;  // settings sent, in order, not yet answered
    CommState m_state;
    uint32_t m_modemState = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;  // present until the server tells
};

}  // namespace quorlin
