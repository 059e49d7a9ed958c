#pragma once

#include "net/AddressResolution.h"
#include "net/CBaseSocket.h"

#include <cstdint>
#include <string>

namespace Platform {
class CEvent;
}

namespace ZiRez {

// Abstract connecting side: one connection to a host (name, numeric IPv4 or IPv6), with waits
// that watch a cancel event and a time-out.
class CClientSocket
{
public:
    virtual ~CClientSocket();
    virtual void Open(const std::string& host, uint16_t port) = 0;
    virtual int Write(const void* bytes, int length) = 0;
    virtual int Read(void* buffer, int length, void* addressOut = nullptr, int* lengthOut = nullptr) = 0;

    CClientSocket(const CClientSocket&) = delete;
    CClientSocket& operator=(const CClientSocket&) = delete;

    // Connects the socket of the host's family without blocking and waits for the connection.
    // A refused connection is CSocketError code 6 "Socket Connect Error!".
    void Connect(const std::string& host, uint16_t port);

    // The limit of every wait from now on, a send's included (milliseconds, above 0).
    void LimitWaits(int32_t timeOut);

    CBaseSocket& BaseSocket() { return m_socket; }
    const CBaseSocket& BaseSocket() const { return m_socket; }

protected:
    // Availability of the two stacks from the probe, or as given.
    CClientSocket(uint16_t family, Platform::CEvent* cancelEvent, int32_t timeOut);
    CClientSocket(uint16_t family, Platform::CEvent* cancelEvent, int32_t timeOut, bool ipv4Available,
                  bool ipv6Available);

    // The IPv6 socket when the selector is IPv6, the IPv4 socket otherwise.
    SocketHandle ConnectionSocket() const;

    // Sets the selector from the host: IPv4 preferred, unspecified for neither.
    void SelectFamily(const std::string& host);

    CBaseSocket m_socket;
    unsigned char m_peerAddress[ADDRESS_STORE_SIZE] = {};
    Platform::CEvent* m_cancelEvent;
    int32_t m_timeOut;
};

} // namespace ZiRez
