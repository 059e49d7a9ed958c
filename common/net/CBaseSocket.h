#pragma once

#include "net/SocketTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct sockaddr;
struct addrinfo;

namespace ZiRez {

// Dual-stack socket base: owns up to one IPv4 and one IPv6 stream socket. An operation applies
// to a family's socket when that family is available and the selector is unspecified or that
// family. Every failure throws (CSocketError with its code); nothing returns an error code
// except SetSockOpt's tolerated WSAENOPROTOOPT for IPV6_V6ONLY.
class CBaseSocket
{
public:
    CBaseSocket(uint16_t family, int32_t type, bool ipv4Available, bool ipv6Available);
    ~CBaseSocket();
    CBaseSocket(const CBaseSocket&) = delete;
    CBaseSocket& operator=(const CBaseSocket&) = delete;

    // Creates the sockets that apply (IPv4 first), IPV6_V6ONLY on the IPv6 one, SO_REUSEADDR
    // on both. A socket created before a later failure stays open until Close.
    void Open();

    // level LEVEL_IP / LEVEL_IPV6 with options in the Windows numbering; other levels do
    // nothing and return the level. Returns 0, or WSA_ENOPROTOOPT for a rejected IPV6_V6ONLY.
    int SetSockOpt(int32_t level, int32_t option, const void* value, int length);

    // Sets the socket-level option (Windows numbering, e.g. OPTION_REUSEADDR) to 1.
    void SetOption(int32_t option);

    // Lets the sockets share their port with other listeners of this user (before Bind).
    void SharePort();

    // Binds the socket of the address's family; returns 0.
    int Bind(const sockaddr* address, size_t length);
    int Bind(const addrinfo* address);

    void Listen();

    // MODE_FIONBIO on the sockets that apply under family (FAMILY_UNSPEC: the own selector).
    int ControlMode(uint32_t command, uint32_t argument, uint16_t family = FAMILY_UNSPEC);

    // One send (never raising SIGPIPE) / one receive; returns the count (0: peer closed).
    int Send(SocketHandle socket, const void* bytes, int length);
    int Recv(SocketHandle socket, void* buffer, int length);

    // TCP_NODELAY on the sockets held (accepted sockets take it from their listener).
    void DisableNagle();

    // Closes every socket held and marks it invalid.
    void Close();

    // The error text of the thread's last socket error.
    static std::string GetErrorText();

    SocketHandle IPv4Socket() const { return m_ipv4Socket; }
    SocketHandle IPv6Socket() const { return m_ipv6Socket; }
    uint16_t Family() const { return m_family; }
    void SetFamily(uint16_t family) { m_family = family; }
    bool IPv4Available() const { return m_ipv4Available; }
    bool IPv6Available() const { return m_ipv6Available; }

    // Whether the IPv4 / IPv6 socket applies under family (FAMILY_UNSPEC: the own selector).
    bool AppliesToIPv4(uint16_t family = FAMILY_UNSPEC) const;
    bool AppliesToIPv6(uint16_t family = FAMILY_UNSPEC) const;

    // Local port a family's socket is bound to (0 when none); for listeners opened on port 0.
    uint16_t BoundPort(uint16_t family) const;

private:
    void SetOptionOn(SocketHandle socket, int32_t option, const char* failureMessage);
    void SetModeOn(SocketHandle socket, uint32_t command, uint32_t argument, const char* failureMessage);

    SocketHandle m_ipv4Socket = INVALID_SOCKET_HANDLE;
    SocketHandle m_ipv6Socket = INVALID_SOCKET_HANDLE;
    uint16_t m_family;
    int32_t m_type;
    bool m_ipv4Available;
    bool m_ipv6Available;
};

} // namespace ZiRez
