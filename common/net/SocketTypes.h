#pragma once

#include <cstdint>

namespace ZiRez {

// Socket handles are descriptors on Linux (-1 is no socket) and SOCKETs on Windows
// (INVALID_SOCKET, all bits set, is none).
#ifdef _WIN32
using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle INVALID_SOCKET_HANDLE = ~SocketHandle{0};
#else
using SocketHandle = int;
inline constexpr SocketHandle INVALID_SOCKET_HANDLE = -1;
#endif

// Family selector, in the Windows numbering; translated at the system call.
inline constexpr uint16_t FAMILY_UNSPEC = 0;
inline constexpr uint16_t FAMILY_INET = 2;
inline constexpr uint16_t FAMILY_INET6 = 23;

inline constexpr int32_t SOCKET_STREAM = 1;

// Option levels and options, in the Windows numbering; translated at the system call.
inline constexpr int32_t LEVEL_IP = 0;
inline constexpr int32_t LEVEL_IPV6 = 41;
inline constexpr int32_t LEVEL_SOCKET = 0xFFFF;

inline constexpr int32_t OPTION_REUSEADDR = 0x0004;
inline constexpr int32_t OPTION_KEEPALIVE = 0x0008;
inline constexpr int32_t OPTION_BROADCAST = 0x0020;
inline constexpr int32_t OPTION_OOBINLINE = 0x0100;

inline constexpr int32_t OPTION_IP_TOS = 3;
inline constexpr int32_t OPTION_IP_TTL = 4;
inline constexpr int32_t OPTION_IPV6_UNICAST_HOPS = 4;
inline constexpr int32_t OPTION_IPV6_JOIN_GROUP = 12;
inline constexpr int32_t OPTION_IPV6_V6ONLY = 27;

// Mode command for ControlMode: non-blocking mode on (argument 1) or off (0).
inline constexpr uint32_t MODE_FIONBIO = 0x8004667EU;

// Winsock codes the layer itself produces or tolerates.
inline constexpr int32_t WSA_ENOPROTOOPT = 10042;

} // namespace ZiRez
