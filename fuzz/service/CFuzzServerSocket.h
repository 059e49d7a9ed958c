#pragma once

#include "CPeerBytes.h"
#include "net/CServerSocket.h"

#include <cstddef>
#include <cstdint>

// A server socket whose one connection (slot 0) is a peer that sends the fuzz input: reads
// are served from it in chunks a seed chooses, as a real peer's segments arrive; writes are
// taken in chunks too and discarded. Once the input is used up the peer has closed: reads
// give 0 and writes fail as they do on a socket the peer closed.
class CFuzzServerSocket : public ZiRez::CServerSocket
{
public:
    // chunkSeed 0: every read and write takes all it can.
    CFuzzServerSocket(const uint8_t* data, size_t size, uint8_t chunkSeed);
    ~CFuzzServerSocket() override;

    void Open(uint16_t port) override;
    int Accept() override;
    int Write(int index, const void* bytes, int length) override;
    int Read(int index, void* buffer, int length) override;
    void Close() override;
    void CloseConnection(int index) override;

    int CloseCount() const { return m_closes; }
    size_t BytesWritten() const { return m_written; }

private:
    CPeerBytes m_peer;
    int m_closes = 0;
    size_t m_written = 0;
};
