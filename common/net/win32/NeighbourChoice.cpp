#include "NeighbourChoice.h"

#include <algorithm>
#include <cstring>

namespace ZiRez {

namespace {

bool Same(int family, const std::array<uint8_t, 16>& row, const CPeerAddress& peer)
{
    return family == peer.Family() && std::memcmp(row.data(), peer.Bytes(), peer.Length()) == 0;
}

bool InPrefix(const SRouteRow& route, const CPeerAddress& peer)
{
    if (route.family != peer.Family()) {
        return false;
    }
    const int bits = std::clamp(route.prefixLength, 0, static_cast<int>(peer.Length() * 8));
    const int whole = bits / 8;
    if (std::memcmp(route.prefix.data(), peer.Bytes(), static_cast<size_t>(whole)) != 0) {
        return false;
    }
    const int rest = bits % 8;
    const auto mask = static_cast<uint8_t>(0xFF << (8 - rest));
    return rest == 0 || (route.prefix[static_cast<size_t>(whole)] & mask) == (peer.Bytes()[whole] & mask);
}

} // namespace

CNeighbourTable::SNeighbour ChooseNeighbour(const CPeerAddress& peer, std::span<const SAddressRow> own,
                                            std::span<const SRouteRow> routes,
                                            std::span<const SNeighbourRow> neighbours)
{
    CNeighbourTable::SNeighbour result;
    if (peer.IsLoopback() || std::any_of(own.begin(), own.end(),
                                         [&](const SAddressRow& row) { return Same(row.family, row.address, peer); })) {
        result.outcome = CNeighbourTable::Outcome::Local;
        return result;
    }
    uint32_t interfaceIndex = peer.ScopeId();
    if (interfaceIndex == 0) {
        const SRouteRow* best = nullptr;
        for (const SRouteRow& route : routes) {
            if (InPrefix(route, peer) && (best == nullptr || route.prefixLength > best->prefixLength ||
                                          (route.prefixLength == best->prefixLength && route.metric < best->metric))) {
                best = &route;
            }
        }
        if (best == nullptr) {
            result.outcome = CNeighbourTable::Outcome::Missing;
            result.why = "no route to the peer";
            return result;
        }
        if (best->viaRouter) {
            result.outcome = CNeighbourTable::Outcome::Routed;
            result.why = "the peer is behind a router";
            return result;
        }
        interfaceIndex = best->interfaceIndex;
    }
    for (const SNeighbourRow& row : neighbours) {
        if (row.interfaceIndex == interfaceIndex && Same(row.family, row.address, peer)) {
            if (row.resolved && row.linkAddressLength == result.address.size()) {
                std::copy_n(row.linkAddress.begin(), result.address.size(), result.address.begin());
                result.outcome = CNeighbourTable::Outcome::Found;
                return result;
            }
            result.outcome = CNeighbourTable::Outcome::Missing;
            result.why = "no link-layer address known for the peer";
            return result;
        }
    }
    result.outcome = CNeighbourTable::Outcome::Missing;
    result.why = "no neighbour entry for the peer";
    return result;
}

} // namespace ZiRez
