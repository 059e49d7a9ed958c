#pragma once

#include "RawSocket.h"
#include "Wire.h"

#include <cstdint>
#include <string>
#include <vector>

// The far end of a connection under test, on a raw socket of the system: it sends exact bytes
// (optionally split into separate TCP segments) and reads what the other end sends.
// Every wait is generous and bounded, so a broken exchange fails instead of hanging.
class CScriptedPeer
{
public:
    static constexpr int kWaitMs = 20000;

    explicit CScriptedPeer(RawSocket socket);

    // Connects to 127.0.0.1:port.
    static CScriptedPeer Connect(uint16_t port);

    void Send(const std::string& bytes);
    // Sends the bytes in pieces of the given sizes (the rest last), pausing between them
    // so that each piece travels as a segment of its own.
    void SendSplit(const std::string& bytes, const std::vector<size_t>& pieces);
    // Reads up to count bytes; fewer only when the other end closed or the wait ran out.
    std::string Read(size_t count);
    // True when the other end closes without sending anything more.
    bool SeesClose();
    // Ends the sending direction only: the other end reads end-of-stream, replies still arrive.
    void ShutdownWrite();
    void Close();

private:
    RawSocket m_socket;
};

// A listening socket on 127.0.0.1 with a port of the system's choice, for client tests.
class CPeerListener
{
public:
    CPeerListener();

    uint16_t Port() const { return m_socket.Port(); }
    CScriptedPeer Accept();

private:
    RawSocket m_socket;
};

// Wire images of packets, as every test builds them.
using Wire::Ack;
using Wire::Header;
inline std::string IntPacket(int32_t value)
{
    return Wire::Int(value);
}
inline std::string DataPacket(const std::string& bytes)
{
    return Wire::Data(bytes);
}
inline std::string StatusPacket(uint32_t status, uint32_t detail)
{
    return Wire::Status(status, detail);
}
// Lower-case hex bytes separated by blanks.
std::string Hex(const std::string& bytes);
