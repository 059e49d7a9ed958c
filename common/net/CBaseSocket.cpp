#include "net/CBaseSocket.h"

#include "SystemSockets.h"
#include "net/CSocketError.h"
#include "net/SocketErrors.h"

#include <utility>

namespace ZiRez {

namespace {

constexpr int32_t kCodeOpen = 1;
constexpr int32_t kCodeSend = 2;
constexpr int32_t kCodeRecv = 3;
constexpr int32_t kCodeBind = 5;
constexpr int32_t kCodeOption = 7;
constexpr int32_t kCodeMode = 8;

// Socket-level options, Windows numbering to the system's; kNoCounterpart when there is none (a
// real option may be negative: SO_EXCLUSIVEADDRUSE is ~SO_REUSEADDR).
constexpr int kNoCounterpart = -1;

int SocketLevelOption(int32_t option)
{
    switch (option) {
    case 0x0001:
        return SO_DEBUG;
    case OPTION_REUSEADDR:
        return Sys::kReuseAddress;
    case OPTION_KEEPALIVE:
        return SO_KEEPALIVE;
    case 0x0010:
        return SO_DONTROUTE;
    case OPTION_BROADCAST:
        return SO_BROADCAST;
    case OPTION_OOBINLINE:
        return SO_OOBINLINE;
    default:
        return kNoCounterpart;
    }
}

int IPLevelOption(int32_t option)
{
    switch (option) {
    case 1:
        return IP_OPTIONS;
    case 2:
        return IP_HDRINCL;
    case OPTION_IP_TOS:
        return IP_TOS;
    case OPTION_IP_TTL:
        return IP_TTL;
    case 9:
        return IP_MULTICAST_IF;
    case 10:
        return IP_MULTICAST_TTL;
    case 11:
        return IP_MULTICAST_LOOP;
    case 12:
        return IP_ADD_MEMBERSHIP;
    case 13:
        return IP_DROP_MEMBERSHIP;
    default:
        return kNoCounterpart;
    }
}

int IPv6LevelOption(int32_t option)
{
    switch (option) {
    case OPTION_IPV6_UNICAST_HOPS:
        return IPV6_UNICAST_HOPS;
    case 9:
        return IPV6_MULTICAST_IF;
    case 10:
        return IPV6_MULTICAST_HOPS;
    case 11:
        return IPV6_MULTICAST_LOOP;
    case OPTION_IPV6_JOIN_GROUP:
        return IPV6_JOIN_GROUP;
    case 13:
        return IPV6_LEAVE_GROUP;
    case OPTION_IPV6_V6ONLY:
        return IPV6_V6ONLY;
    default:
        return kNoCounterpart;
    }
}

const char* IPv6OptionLine(int32_t option)
{
    switch (option) {
    case OPTION_IPV6_JOIN_GROUP:
        return "IPV6_JOIN_GROUP\n";
    case OPTION_IPV6_V6ONLY:
        return "IPV6_V6ONLY\n";
    default:
        return "IPV6_UNKNOWN\n";
    }
}

void CloseHandle(SocketHandle& socket)
{
    if (socket != INVALID_SOCKET_HANDLE) {
        Sys::CloseSocket(socket);
        socket = INVALID_SOCKET_HANDLE;
    }
}

} // namespace

CBaseSocket::CBaseSocket(uint16_t family, int32_t type, bool ipv4Available, bool ipv6Available)
    : m_family(family), m_type(type), m_ipv4Available(ipv4Available), m_ipv6Available(ipv6Available)
{}

CBaseSocket::~CBaseSocket()
{
    Close();
}

bool CBaseSocket::AppliesToIPv4(uint16_t family) const
{
    const uint16_t selector = family == FAMILY_UNSPEC ? m_family : family;
    return m_ipv4Available && (selector == FAMILY_UNSPEC || selector == FAMILY_INET);
}

bool CBaseSocket::AppliesToIPv6(uint16_t family) const
{
    const uint16_t selector = family == FAMILY_UNSPEC ? m_family : family;
    return m_ipv6Available && (selector == FAMILY_UNSPEC || selector == FAMILY_INET6);
}

void CBaseSocket::Open()
{
    // Only stream sockets exist in this system; the type selector keeps its Windows value.
    const int type = m_type == SOCKET_STREAM ? SOCK_STREAM : m_type;
    if (AppliesToIPv4()) {
        CloseHandle(m_ipv4Socket);
        m_ipv4Socket = Sys::OpenSocket(AF_INET, type);
        if (m_ipv4Socket == INVALID_SOCKET_HANDLE) {
            Sys::RecordError(Sys::LastError());
            m_ipv4Socket = INVALID_SOCKET_HANDLE;
            throw CSocketError("(IPv4) Socket Open Error!", kCodeOpen);
        }
    }
    if (AppliesToIPv6()) {
        CloseHandle(m_ipv6Socket);
        m_ipv6Socket = Sys::OpenSocket(AF_INET6, type);
        if (m_ipv6Socket == INVALID_SOCKET_HANDLE) {
            Sys::RecordError(Sys::LastError());
            m_ipv6Socket = INVALID_SOCKET_HANDLE;
            throw CSocketError("(IPv6) Socket Open Error!", kCodeOpen);
        }
        const int32_t on = 1;
        SetSockOpt(LEVEL_IPV6, OPTION_IPV6_V6ONLY, &on, sizeof on);
    }
    if (AppliesToIPv4()) {
        SetOptionOn(m_ipv4Socket, OPTION_REUSEADDR, "(IPv4) Socket SetOption Error!");
    }
    if (AppliesToIPv6()) {
        SetOptionOn(m_ipv6Socket, OPTION_REUSEADDR, "(IPv6) Socket SetOption Error!");
    }
}

int CBaseSocket::SetSockOpt(int32_t level, int32_t option, const void* value, int length)
{
    if (level != LEVEL_IP && level != LEVEL_IPV6) {
        return level;
    }
    const bool ipv6 = level == LEVEL_IPV6;
    const SocketHandle target = ipv6 ? m_ipv6Socket : m_ipv4Socket;
    const int systemOption = ipv6 ? IPv6LevelOption(option) : IPLevelOption(option);
    int32_t code;
    if (systemOption == kNoCounterpart) {
        code = WSA_ENOPROTOOPT;
        SetLastSocketError(code);
    } else if (length < 0) {
        code = Sys::RecordError(Sys::kInvalid);
    } else if (Sys::SetSocketOption(target, ipv6 ? IPPROTO_IPV6 : IPPROTO_IP, systemOption, value, length) == 0) {
        return 0;
    } else {
        code = Sys::RecordError(Sys::LastError());
    }
    if (ipv6 && option == OPTION_IPV6_V6ONLY && code == WSA_ENOPROTOOPT) {
        return WSA_ENOPROTOOPT;
    }
    std::string message = "CBaseSocket::SetSockOpt: ";
    if (ipv6) {
        message += IPv6OptionLine(option);
    }
    message += GetErrorText();
    message += ipv6 ? "(IPv6) Socket SetOption Error 02!" : "(IPv4) Socket SetOption Error 02!";
    throw CSocketError(message, kCodeOption);
}

void CBaseSocket::SetOptionOn(SocketHandle socket, int32_t option, const char* failureMessage)
{
    const int systemOption = SocketLevelOption(option);
    if (systemOption == kNoCounterpart) {
        SetLastSocketError(WSA_ENOPROTOOPT);
        throw CSocketError(failureMessage, kCodeOption);
    }
    const int value = 1;
    if (Sys::SetSocketOption(socket, SOL_SOCKET, systemOption, &value, sizeof value) != 0) {
        Sys::RecordError(Sys::LastError());
        throw CSocketError(failureMessage, kCodeOption);
    }
}

void CBaseSocket::SetOption(int32_t option)
{
    if (AppliesToIPv4()) {
        SetOptionOn(m_ipv4Socket, option, "(IPv4) Socket SetOption Error!");
    }
    if (AppliesToIPv6()) {
        SetOptionOn(m_ipv6Socket, option, "(IPv6) Socket SetOption Error!");
    }
}

void CBaseSocket::SharePort()
{
    for (const auto& [socket, message] : {std::pair{m_ipv4Socket, "(IPv4) Socket SetOption Error!"},
                                          std::pair{m_ipv6Socket, "(IPv6) Socket SetOption Error!"}}) {
        if (socket != INVALID_SOCKET_HANDLE && Sys::SharePort(socket) != 0) {
            Sys::RecordError(Sys::LastError());
            throw CSocketError(message, kCodeOption);
        }
    }
}

int CBaseSocket::Bind(const sockaddr* address, size_t length)
{
    const int family = address != nullptr ? address->sa_family : AF_UNSPEC;
    SocketHandle target;
    socklen_t size;
    const char* familyText;
    if (family == AF_INET) {
        target = m_ipv4Socket;
        size = sizeof(sockaddr_in);
        familyText = "(IPv4) ";
    } else if (family == AF_INET6) {
        target = m_ipv6Socket;
        size = sizeof(sockaddr_in6);
        familyText = "(IPv6) ";
    } else {
        Sys::RecordError(Sys::kNoFamily);
        throw CSocketError("(UNKNOWN) Socket Bind Error!", kCodeBind);
    }
    if (length < static_cast<size_t>(size)) {
        Sys::RecordError(Sys::kInvalid);
    } else if (bind(target, address, size) == 0) {
        return 0;
    } else {
        Sys::RecordError(Sys::LastError());
    }
    throw CSocketError(std::string("CBaseSocket::Bind: ") + GetErrorText() + familyText + "Socket Bind Error!",
                       kCodeBind);
}

int CBaseSocket::Bind(const addrinfo* address)
{
    if (address == nullptr) {
        return Bind(nullptr, 0);
    }
    return Bind(address->ai_addr, address->ai_addrlen);
}

void CBaseSocket::Listen()
{
    if (AppliesToIPv4() && listen(m_ipv4Socket, Sys::kListenBacklog) != 0) {
        Sys::RecordError(Sys::LastError());
        throw CSocketError("(IPv4) Socket Listen Error!", kCodeOpen);
    }
    if (AppliesToIPv6() && listen(m_ipv6Socket, Sys::kListenBacklog) != 0) {
        Sys::RecordError(Sys::LastError());
        throw CSocketError("(IPv6) Socket Listen Error!", kCodeOpen);
    }
}

void CBaseSocket::SetModeOn(SocketHandle socket, uint32_t command, uint32_t argument, const char* failureMessage)
{
    if (command != MODE_FIONBIO) {
        Sys::RecordError(Sys::kInvalid);
        throw CSocketError(failureMessage, kCodeMode);
    }
    if (Sys::SetNonBlocking(socket, argument != 0) != 0) {
        Sys::RecordError(Sys::LastError());
        throw CSocketError(failureMessage, kCodeMode);
    }
}

int CBaseSocket::ControlMode(uint32_t command, uint32_t argument, uint16_t family)
{
    if (AppliesToIPv4(family)) {
        SetModeOn(m_ipv4Socket, command, argument, "(IPv4) Socket IoCtlSocket Error!");
    }
    if (AppliesToIPv6(family)) {
        SetModeOn(m_ipv6Socket, command, argument, "(IPv6) Socket IoCtlSocket Error!");
    }
    return 0;
}

int CBaseSocket::Send(SocketHandle socket, const void* bytes, int length)
{
    if (length >= 0) {
        for (;;) {
            const long sent = Sys::SendSome(socket, bytes, length);
            if (sent >= 0) {
                return static_cast<int>(sent);
            }
            if (Sys::LastError() != Sys::kInterrupted) {
                break;
            }
        }
        Sys::RecordError(Sys::LastError());
    } else {
        Sys::RecordError(Sys::kInvalid);
    }
    throw CSocketError("CBaseSocket::Send: SendData Error!", kCodeSend);
}

int CBaseSocket::Recv(SocketHandle socket, void* buffer, int length)
{
    if (length >= 0) {
        for (;;) {
            const long got = Sys::ReceiveSome(socket, buffer, length);
            if (got >= 0) {
                return static_cast<int>(got);
            }
            if (Sys::LastError() != Sys::kInterrupted) {
                break;
            }
        }
        Sys::RecordError(Sys::LastError());
    } else {
        Sys::RecordError(Sys::kInvalid);
    }
    throw CSocketError("CBaseSocket::Recv: ReceiveData Error!", kCodeRecv);
}

void CBaseSocket::DisableNagle()
{
    const int one = 1;
    for (const SocketHandle socket : {m_ipv4Socket, m_ipv6Socket}) {
        if (socket != INVALID_SOCKET_HANDLE) {
            Sys::SetSocketOption(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
    }
}

void CBaseSocket::Close()
{
    CloseHandle(m_ipv4Socket);
    CloseHandle(m_ipv6Socket);
}

std::string CBaseSocket::GetErrorText()
{
    return ErrorTextOf(GetLastSocketError());
}

uint16_t CBaseSocket::BoundPort(uint16_t family) const
{
    const SocketHandle socket = family == FAMILY_INET6 ? m_ipv6Socket : m_ipv4Socket;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (socket == INVALID_SOCKET_HANDLE || getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    if (address.ss_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    }
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    }
    return 0;
}

} // namespace ZiRez
