#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct sockaddr_storage;

namespace ZiRez {

// The address of a connection's peer, IPv4 or IPv6; an IPv4-mapped IPv6 address is taken
// as the IPv4 address it maps, so one peer has one address whichever listener it reached.
class CPeerAddress
{
public:
    CPeerAddress() = default;
    // Unknown (Family() 0) for anything but an IPv4 or IPv6 socket address.
    static CPeerAddress FromSocketAddress(const sockaddr_storage& address);
    // Numeric text: a dotted quad or an IPv6 address; unknown when it is neither.
    static CPeerAddress FromText(std::string_view text);

    // 4, 6, or 0 when unknown.
    int Family() const { return m_family; }
    // 4 bytes for IPv4, 16 for IPv6.
    const uint8_t* Bytes() const { return m_bytes.data(); }
    size_t Length() const { return m_family == 4 ? 4 : m_family == 6 ? 16 : 0; }
    bool IsLoopback() const;
    // The peer as one throttled party: an IPv6 address stands for its /64 (one site's
    // network, whose hosts pick their own low 64 bits), an IPv4 address for itself.
    CPeerAddress Party() const;
    std::string Text() const;
    // Text of Party(): an IPv6 party with "/64".
    std::string PartyText() const;
    // The scope (interface index) of a link-local IPv6 address, else 0.
    uint32_t ScopeId() const { return m_scope; }

    bool operator==(const CPeerAddress& other) const { return m_family == other.m_family && m_bytes == other.m_bytes; }
    size_t Hash() const;

private:
    int m_family = 0;
    std::array<uint8_t, 16> m_bytes{};
    uint32_t m_scope = 0;
};

} // namespace ZiRez
