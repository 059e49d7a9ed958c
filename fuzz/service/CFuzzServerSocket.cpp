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
    : CServerSocket(ZiRez::FAMILY_INET, ZiRez::SOCKET_STREAM, true, false, 0, nullptr, -1), m_data(data), m_size(size),
      m_state(chunkSeed)
{}

CFuzzServerSocket::~CFuzzServerSocket() = default;

void CFuzzServerSocket::Open(uint16_t) {}

int CFuzzServerSocket::Accept()
{
    return 0;
}

size_t CFuzzServerSocket::NextChunk(size_t wanted)
{
    if (m_state == 0 || wanted <= 1) {
        return wanted;
    }
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    // Mostly small pieces, so that headers and payloads are split at every offset.
    const size_t limit = (m_state & 3) == 0 ? wanted : 1 + (m_state >> 8) % 9;
    return limit < wanted ? limit : wanted;
}

int CFuzzServerSocket::Read(int index, void* buffer, int length)
{
    if (index != 0 || length < 0) {
        std::abort(); // the service asked for a slot it was never given
    }
    const size_t left = m_size - m_offset;
    const size_t count = NextChunk(static_cast<size_t>(length) < left ? static_cast<size_t>(length) : left);
    if (count == 0) {
        m_peerClosed = true;
        return 0;
    }
    std::memcpy(buffer, m_data + m_offset, count);
    m_offset += count;
    return static_cast<int>(count);
}

int CFuzzServerSocket::Write(int index, const void*, int length)
{
    if (index != 0 || length < 0) {
        std::abort();
    }
    if (m_peerClosed) {
        throw ZiRez::CSocketError("CBaseSocket::Send: SendData Error!", kSendErrorCode);
    }
    const size_t count = NextChunk(static_cast<size_t>(length));
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
