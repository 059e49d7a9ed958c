#pragma once

#include "net/CBaseSocket.h"

#include <cstdint>

namespace Platform {
class CEvent;
}

namespace ZiRez {

// Abstract listening side: listening sockets plus numbered connection slots.
class CServerSocket
{
public:
    virtual ~CServerSocket();
    virtual void Open(uint16_t port) = 0;
    virtual int Accept() = 0;
    virtual int Write(int index, const void* bytes, int length) = 0;
    virtual int Read(int index, void* buffer, int length) = 0;
    virtual void Close() = 0;
    virtual void CloseConnection(int index) = 0;

    CServerSocket(const CServerSocket&) = delete;
    CServerSocket& operator=(const CServerSocket&) = delete;

    // The listening sockets, for callers that open, bind and listen step by step.
    CBaseSocket& BaseSocket() { return m_socket; }
    const CBaseSocket& BaseSocket() const { return m_socket; }
    uint16_t Port() const { return m_port; }

protected:
    CServerSocket(uint16_t family, int32_t type, bool ipv4Available, bool ipv6Available, uint16_t port,
                  Platform::CEvent* cancelEvent, int32_t timeOut);

    CBaseSocket m_socket;
    uint16_t m_port;
    Platform::CEvent* m_cancelEvent;
    int32_t m_timeOut;
};

} // namespace ZiRez
