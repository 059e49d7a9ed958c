#pragma once

#include "net/CPeerAddress.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace ZiRez {

// The kernel's table of the link-layer addresses of hosts on the same link (ARP for IPv4,
// neighbour discovery for IPv6): which hardware address a peer's packets come from.
class CNeighbourTable
{
public:
    enum class Outcome
    {
        Found,   // address holds the peer's link-layer address
        Local,   // the peer is an address of this machine
        Routed,  // the peer is reached through a router: its own address cannot be known
        Missing, // no usable entry for the peer
        Failed,  // the table could not be asked; why says so
    };
    struct SNeighbour
    {
        Outcome outcome = Outcome::Failed;
        std::array<uint8_t, 6> address{};
        std::string why;
    };

    virtual ~CNeighbourTable() = default;
    virtual SNeighbour LinkAddressOf(const CPeerAddress& peer) = 0;
};

// The table of this system (rtnetlink on Linux, the IP helper's tables on Windows).
std::unique_ptr<CNeighbourTable> CreateNeighbourTable();

} // namespace ZiRez
