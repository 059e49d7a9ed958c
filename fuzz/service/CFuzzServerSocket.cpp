#include "CFuzzServerSocket.h"

#include "net/CSocketError.h"
#include "net/SocketTypes.h"

#include <cstdlib>
#include <cstring>

namespace {

// Error code of a failed send in the socket layer.
constexpr int32_t kSendErrorCode = 2;

} // namespace

CFuzzServerSocket::CFuzzServerSocket(const uint8_t* data, size_t size, uint8_t chunkSeed)
    : CServerSocket(ZiRez::FAMILY_INET, ZiRez::SOCKET_STREAM, true, false, 0, nullptr, -1),
      m_peer(data, size, chunkSeed)
{}

CFuzzServerSocket::~CFuzzServerSocket() = default;

void CFuzzServerSocket::Open(uint16_t) {}

int CFuzzServerSocket::Accept()
{
    return 0;
}

int CFuzzServerSocket::Read(int index, void* buffer, int length)
{
    if (index != 0 || length < 0) {
        std::abort(); // the service asked for a slot it was never given
    }
    return static_cast<int>(m_peer.Read(buffer, static_cast<size_t>(length)));
}

int CFuzzServerSocket::Write(int index, const void*, int length)
{
    if (index != 0 || length < 0) {
        std::abort();
    }
    if (m_peer.Closed()) {
        throw ZiRez::CSocketError("CBaseSocket::Send: SendData Error!", kSendErrorCode);
    }
    const size_t count = m_peer.Take(static_cast<size_t>(length));
    m_written += count;
    return static_cast<int>(count);
}

void CFuzzServerSocket::Close() {}

void CFuzzServerSocket::CloseConnection(int index)
{
    if (index != 0) {
        std::abort();
    }
    ++m_closes;
}
