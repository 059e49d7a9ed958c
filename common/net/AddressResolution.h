#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ZiRez {

// Client-side helpers over getaddrinfo(). Families are selector values (FAMILY_*); the
// address buffers hold the system's sockaddr_in / sockaddr_in6, ready for connect().

inline constexpr size_t IPV4_ADDRESS_SIZE = 16;
inline constexpr size_t IPV6_ADDRESS_SIZE = 28;
inline constexpr size_t ADDRESS_STORE_SIZE = 128;

bool IsIPv4Host(const std::string& host);
bool IsIPv6Host(const std::string& host);

// FAMILY_INET if IsIPv4Host, else FAMILY_INET6 if IsIPv6Host, else FAMILY_UNSPEC.
uint16_t GetAddressFamily(const std::string& host);

// Copies the first resolved address of the host into buffer; throws CSocketError code 11
// "NetStringToAddress error!" for a missing argument, a short buffer or a failed resolution.
void StringToAddress(uint16_t family, const std::string& host, void* buffer, size_t size);

// Fills buffer (at least 28 bytes) with the host's address and the port; returns the port in
// network byte order, or 0 (16 zero bytes) for an empty or unresolvable host.
uint16_t NetStringToAddress(void* buffer, const std::string& host, uint16_t port);

} // namespace ZiRez
