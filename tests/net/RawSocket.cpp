#include "RawSocket.h"

#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

socklen_t MakeAddress(int family, const char* host, uint16_t port, sockaddr_storage& out)
{
    std::memset(&out, 0, sizeof out);
    if (family == AF_INET6) {
        auto* address = reinterpret_cast<sockaddr_in6*>(&out);
        address->sin6_family = AF_INET6;
        address->sin6_port = htons(port);
        inet_pton(AF_INET6, host, &address->sin6_addr);
        return sizeof(sockaddr_in6);
    }
    auto* address = reinterpret_cast<sockaddr_in*>(&out);
    address->sin_family = AF_INET;
    address->sin_port = htons(port);
    inet_pton(AF_INET, host, &address->sin_addr);
    return sizeof(sockaddr_in);
}

} // namespace

RawSocket::~RawSocket()
{
    Reset();
}

RawSocket& RawSocket::operator=(RawSocket&& other) noexcept
{
    if (this != &other) {
        Reset();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

void RawSocket::Reset()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

uint16_t RawSocket::Port() const
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    }
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

RawSocket RawSocket::Listen(int family, const char* host, uint16_t port, int backlog)
{
    RawSocket result(socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!result.Valid()) {
        return result;
    }
    const int on = 1;
    if (family == AF_INET6) {
        setsockopt(result.Fd(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    }
    sockaddr_storage address;
    const socklen_t length = MakeAddress(family, host, port, address);
    if (bind(result.Fd(), reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(result.Fd(), backlog) != 0) {
        result.Reset();
    }
    return result;
}

RawSocket RawSocket::Connect(int family, const char* host, uint16_t port)
{
    RawSocket result(socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_storage address;
    const socklen_t length = MakeAddress(family, host, port, address);
    if (result.Valid() && connect(result.Fd(), reinterpret_cast<sockaddr*>(&address), length) != 0) {
        result.Reset();
    }
    return result;
}

RawSocket RawSocket::ConnectPending(int family, const char* host, uint16_t port)
{
    RawSocket result(socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_storage address;
    const socklen_t length = MakeAddress(family, host, port, address);
    if (result.Valid()) {
        connect(result.Fd(), reinterpret_cast<sockaddr*>(&address), length);
    }
    return result;
}

RawSocket RawSocket::Accept() const
{
    return RawSocket(accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC));
}

bool IPv6LoopbackUsable()
{
    return RawSocket::Listen(AF_INET6, "::1", 0, 1).Valid();
}

uint16_t UnusedPort()
{
    RawSocket probe(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_storage address;
    const socklen_t length = MakeAddress(AF_INET, "127.0.0.1", 0, address);
    if (bind(probe.Fd(), reinterpret_cast<sockaddr*>(&address), length) != 0) {
        return 0;
    }
    return probe.Port();
}
