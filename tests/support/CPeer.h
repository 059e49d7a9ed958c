#pragma once

#include "RawSocket.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace Harness {

using Clock = std::chrono::steady_clock;

// A blocking TCP peer with receive time-outs.
class CPeer
{
public:
    bool Connect(const std::string& host, uint16_t port, const std::string& source = "");
    bool Send(const std::string& bytes);
    void ShutdownWrite();
    // Reads up to count bytes within the time; stops early at the peer's close.
    std::string Read(size_t count, int timeOutMs);
    // Everything until the peer closes (or the time runs out).
    std::string ReadToClose(int timeOutMs, bool* closed = nullptr);
    // True when nothing arrives (and the connection stays open) for the whole time.
    bool StaysQuiet(int timeOutMs);
    void Close();
    bool IsOpen() const { return m_socket.Valid(); }

private:
    RawSocket m_socket;
};

// A TCP port nothing listens on right now (IPv4 and IPv6).
uint16_t FreePort();
// A free port held by a listener on host, as another program would hold it; port is set
// to it. Another test running beside this one may take a first choice before it is held.
RawSocket HoldFreePort(const char* host, uint16_t& port);
bool IPv6LoopbackWorks();

// Sends the whole client side of a conversation, ends the sending half and returns what
// the service sent until it closed.
// From source when given (an IPv4 address of this machine).
std::string Converse(uint16_t port, const std::string& clientBytes, const std::string& host = "127.0.0.1",
                     const std::string& source = "");

// Polls REQ_CHECK until the service answers on the port.
bool WaitForListener(uint16_t port, int timeOutMs, const std::string& host = "127.0.0.1");
bool CanConnect(uint16_t port, const std::string& host = "127.0.0.1");

// Milliseconds left until a deadline.
int RemainingMs(Clock::time_point deadline);

} // namespace Harness
