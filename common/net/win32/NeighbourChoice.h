#pragma once

#include "net/CNeighbourTable.h"

#include <array>
#include <cstdint>
#include <span>

namespace ZiRez {

// The rows of the system's tables that a neighbour look-up reads (family 4 or 6, addresses
// as bytes, the IPv4 ones in the first four): its own addresses, its routes and its
// neighbour entries.
struct SAddressRow
{
    int family = 0;
    std::array<uint8_t, 16> address{};
};
struct SRouteRow
{
    int family = 0;
    std::array<uint8_t, 16> prefix{};
    int prefixLength = 0;
    bool viaRouter = false; // a next hop other than the unspecified address
    uint32_t interfaceIndex = 0;
    uint32_t metric = 0;
};
struct SNeighbourRow
{
    int family = 0;
    std::array<uint8_t, 16> address{};
    uint32_t interfaceIndex = 0;
    bool resolved = false; // neither unreachable nor still incomplete
    std::array<uint8_t, 32> linkAddress{};
    uint32_t linkAddressLength = 0;
};

// What the rows of the peer's family tell of it, as the kernel's neighbour look-up would: one of this
// machine's addresses; behind a router (the longest matching prefix, then the lowest
// metric, has a next hop); else its neighbour entry on the route's interface (the peer's
// own scope for a link-local one), found when resolved with a 6-byte address.
CNeighbourTable::SNeighbour ChooseNeighbour(const CPeerAddress& peer, std::span<const SAddressRow> own,
                                            std::span<const SRouteRow> routes,
                                            std::span<const SNeighbourRow> neighbours);

} // namespace ZiRez
