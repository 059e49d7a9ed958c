#include "net/CPeerAddress.h"

#include "SystemSockets.h"

#include <cstring>

namespace ZiRez {

namespace {

bool IsMappedIPv4(const uint8_t* bytes)
{
    static constexpr uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    return std::memcmp(bytes, kPrefix, sizeof kPrefix) == 0;
}

} // namespace

CPeerAddress CPeerAddress::FromSocketAddress(const sockaddr_storage& address)
{
    CPeerAddress peer;
    if (address.ss_family == AF_INET) {
        const auto& ipv4 = reinterpret_cast<const sockaddr_in&>(address);
        peer.m_family = 4;
        std::memcpy(peer.m_bytes.data(), &ipv4.sin_addr, 4);
    } else if (address.ss_family == AF_INET6) {
        const auto& ipv6 = reinterpret_cast<const sockaddr_in6&>(address);
        const auto* bytes = reinterpret_cast<const uint8_t*>(&ipv6.sin6_addr);
        if (IsMappedIPv4(bytes)) {
            peer.m_family = 4;
            std::memcpy(peer.m_bytes.data(), bytes + 12, 4);
        } else {
            peer.m_family = 6;
            std::memcpy(peer.m_bytes.data(), bytes, 16);
            peer.m_scope = ipv6.sin6_scope_id;
        }
    }
    return peer;
}

CPeerAddress CPeerAddress::FromText(std::string_view text)
{
    const std::string terminated(text);
    sockaddr_storage address{};
    if (inet_pton(AF_INET, terminated.c_str(), &reinterpret_cast<sockaddr_in&>(address).sin_addr) == 1) {
        address.ss_family = AF_INET;
    } else if (inet_pton(AF_INET6, terminated.c_str(), &reinterpret_cast<sockaddr_in6&>(address).sin6_addr) == 1) {
        address.ss_family = AF_INET6;
    }
    return FromSocketAddress(address);
}

bool CPeerAddress::IsLoopback() const
{
    static constexpr uint8_t kIPv6Loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    return (m_family == 4 && m_bytes[0] == 127) ||
           (m_family == 6 && std::memcmp(m_bytes.data(), kIPv6Loopback, 16) == 0);
}

CPeerAddress CPeerAddress::Party() const
{
    CPeerAddress party = *this;
    party.m_scope = 0;
    if (m_family == 6) {
        std::memset(party.m_bytes.data() + 8, 0, 8);
    }
    return party;
}

std::string CPeerAddress::Text() const
{
    char text[INET6_ADDRSTRLEN] = {};
    if (m_family == 0 || inet_ntop(m_family == 4 ? AF_INET : AF_INET6, m_bytes.data(), text, sizeof text) == nullptr) {
        return "unknown peer";
    }
    return text;
}

std::string CPeerAddress::PartyText() const
{
    return m_family == 6 ? Party().Text() + "/64" : Text();
}

size_t CPeerAddress::Hash() const
{
    // FNV-1a over the bytes that count.
    uint64_t hash = 1469598103934665603ull ^ static_cast<uint64_t>(m_family);
    for (size_t i = 0; i < Length(); ++i) {
        hash = (hash ^ m_bytes[i]) * 1099511628211ull;
    }
    return static_cast<size_t>(hash);
}

} // namespace ZiRez
