#include "RawSocket.h"

void RawSocket::Reset()
{
    if (Valid()) {
        closesocket(m_fd);
        m_fd = ZiRez::INVALID_SOCKET_HANDLE;
    }
}

RawSocket RawSocket::Open(int family, bool nonBlocking)
{
    RawSocket result(WSASocketW(family, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
    u_long mode = 1;
    if (result.Valid() && nonBlocking && ioctlsocket(result.Fd(), FIONBIO, &mode) != 0) {
        result.Reset();
    }
    return result;
}

RawSocket RawSocket::Accept() const
{
    return RawSocket(accept(m_fd, nullptr, nullptr));
}

// Winsock raises no signal for a peer that is gone.
long RawSocket::Send(const void* bytes, size_t length) const
{
    return send(m_fd, static_cast<const char*>(bytes), static_cast<int>(length), 0);
}

long RawSocket::Receive(void* buffer, size_t length) const
{
    return recv(m_fd, static_cast<char*>(buffer), static_cast<int>(length), 0);
}

bool RawSocket::WaitReadable(int timeOutMs) const
{
    WSAPOLLFD entry{m_fd, POLLRDNORM, 0};
    return WSAPoll(&entry, 1, timeOutMs) > 0;
}

void RawSocket::ShutdownWrite() const
{
    shutdown(m_fd, SD_SEND);
}

std::optional<bool> RawSocket::NonBlocking(Handle)
{
    return std::nullopt;
}

std::optional<bool> RawSocket::ReusesAddress(Handle socket)
{
    const int value = IntOption(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE);
    return value < 0 ? std::nullopt : std::optional<bool>(value != 0);
}

int RawSocket::LastError()
{
    return WSAGetLastError();
}

bool RawSocket::Interrupted(int error)
{
    return error == WSAEINTR;
}

bool RawSocket::ConnectionReset(int error)
{
    return error == WSAECONNRESET;
}
