#include "RawSocket.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

void RawSocket::Reset()
{
    if (Valid()) {
        close(m_fd);
        m_fd = ZiRez::INVALID_SOCKET_HANDLE;
    }
}

RawSocket RawSocket::Open(int family, bool nonBlocking)
{
    return RawSocket(socket(family, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0));
}

RawSocket RawSocket::Accept() const
{
    return RawSocket(accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC));
}

long RawSocket::Send(const void* bytes, size_t length) const
{
    return send(m_fd, bytes, length, MSG_NOSIGNAL);
}

long RawSocket::Receive(void* buffer, size_t length) const
{
    return recv(m_fd, buffer, length, 0);
}

bool RawSocket::WaitReadable(int timeOutMs) const
{
    pollfd entry{m_fd, POLLIN, 0};
    int ready;
    do {
        ready = poll(&entry, 1, timeOutMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

void RawSocket::ShutdownWrite() const
{
    shutdown(m_fd, SHUT_WR);
}

std::optional<bool> RawSocket::NonBlocking(Handle socket)
{
    const int flags = fcntl(socket, F_GETFL);
    return flags < 0 ? std::nullopt : std::optional<bool>((flags & O_NONBLOCK) != 0);
}

std::optional<bool> RawSocket::ReusesAddress(Handle socket)
{
    const int value = IntOption(socket, SOL_SOCKET, SO_REUSEADDR);
    return value < 0 ? std::nullopt : std::optional<bool>(value != 0);
}

int RawSocket::LastError()
{
    return errno;
}

bool RawSocket::Interrupted(int error)
{
    return error == EINTR;
}

bool RawSocket::ConnectionReset(int error)
{
    return error == ECONNRESET;
}
