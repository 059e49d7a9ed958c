#include "RawSocket.h"

#include <cstring>

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

bool ConnectTo(const RawSocket& socket, int family, const char* host, uint16_t port)
{
    sockaddr_storage address;
    const socklen_t length = MakeAddress(family, host, port, address);
    return connect(socket.Fd(), reinterpret_cast<sockaddr*>(&address), length) == 0;
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
        other.m_fd = ZiRez::INVALID_SOCKET_HANDLE;
    }
    return *this;
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

bool RawSocket::Bind(int family, const char* host, uint16_t port) const
{
    sockaddr_storage address;
    const socklen_t length = MakeAddress(family, host, port, address);
    return bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
}

RawSocket RawSocket::Listen(int family, const char* host, uint16_t port, int backlog)
{
    RawSocket result = Open(family);
    if (!result.Valid()) {
        return result;
    }
    const int on = 1;
    if (family == AF_INET6) {
        setsockopt(result.Fd(), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof on);
    }
    if (!result.Bind(family, host, port) || listen(result.Fd(), backlog) != 0) {
        result.Reset();
    }
    return result;
}

RawSocket RawSocket::Connect(int family, const char* host, uint16_t port, const char* source)
{
    RawSocket result = Open(family);
    if (result.Valid() && source != nullptr && !result.Bind(family, source, 0)) {
        result.Reset();
    }
    if (result.Valid() && !ConnectTo(result, family, host, port)) {
        result.Reset();
    }
    return result;
}

RawSocket RawSocket::ConnectPending(int family, const char* host, uint16_t port)
{
    RawSocket result = Open(family, true);
    if (result.Valid()) {
        ConnectTo(result, family, host, port);
    }
    return result;
}

bool RawSocket::SendAll(std::string_view bytes) const
{
    size_t done = 0;
    while (done < bytes.size()) {
        const long sent = Send(bytes.data() + done, bytes.size() - done);
        if (sent < 0 && Interrupted(LastError())) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        done += static_cast<size_t>(sent);
    }
    return true;
}

void RawSocket::SetNoDelay() const
{
    const int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

int RawSocket::IntOption(Handle socket, int level, int option)
{
    // Winsock may write a boolean option as one byte.
    int value = 0;
    socklen_t length = sizeof value;
    return getsockopt(socket, level, option, reinterpret_cast<char*>(&value), &length) == 0 ? value : -1;
}

RawSocketPair::RawSocketPair()
{
    const RawSocket listener = RawSocket::Listen(AF_INET, "127.0.0.1", 0, 1);
    a = RawSocket::Connect(AF_INET, "127.0.0.1", listener.Port());
    b = listener.Accept();
}

bool IPv6LoopbackUsable()
{
    return RawSocket::Listen(AF_INET6, "::1", 0, 1).Valid();
}
