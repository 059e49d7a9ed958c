#pragma once

#include "net/CClientSocket.h"

namespace ZiRez {

// Stream client socket: Open resolves the host, creates the socket of its family and connects;
// Read and Write make one call each, reads waiting with the cancel event and the time-out.
class CStrmCltSocket : public CClientSocket
{
public:
    CStrmCltSocket(uint16_t family, Platform::CEvent* cancelEvent, int32_t timeOut);
    ~CStrmCltSocket() override;

    void Open(const std::string& host, uint16_t port) override;
    int Write(const void* bytes, int length) override;

    // addressOut (128 bytes) receives the peer address, lengthOut 128.
    int Read(void* buffer, int length, void* addressOut = nullptr, int* lengthOut = nullptr) override;
};

} // namespace ZiRez
