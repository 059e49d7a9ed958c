#include "NeighbourChoice.h"
#include "SystemSockets.h"

#include <algorithm>
#include <cstring>
#include <iphlpapi.h>
#include <netioapi.h>
#include <span>
#include <string>
#include <vector>

namespace ZiRez {

namespace {

int Family(const SOCKADDR_INET& address)
{
    return address.si_family == AF_INET ? 4 : address.si_family == AF_INET6 ? 6 : 0;
}

std::array<uint8_t, 16> Bytes(const SOCKADDR_INET& address)
{
    std::array<uint8_t, 16> bytes{};
    if (address.si_family == AF_INET) {
        std::memcpy(bytes.data(), &address.Ipv4.sin_addr, 4);
    } else if (address.si_family == AF_INET6) {
        std::memcpy(bytes.data(), &address.Ipv6.sin6_addr, 16);
    }
    return bytes;
}

bool Unspecified(const SOCKADDR_INET& address)
{
    const std::array<uint8_t, 16> none{};
    return Bytes(address) == none;
}

// One of the system's tables, freed with the object.
template <typename Table, typename Row> class CTable
{
public:
    CTable() = default;
    ~CTable() { FreeMibTable(m_table); }
    CTable(const CTable&) = delete;
    CTable& operator=(const CTable&) = delete;

    Table** Out() { return &m_table; }
    std::span<const Row> Rows() const
    {
        return m_table == nullptr ? std::span<const Row>() : std::span<const Row>(m_table->Table, m_table->NumEntries);
    }

private:
    Table* m_table = nullptr;
};

// The tables of the system's IP helper, read afresh for every question (they are small).
// Only the table calls are used: the single-entry and resolving ones (GetBestRoute2,
// GetIpNetEntry2, ResolveIpNetEntry2) are missing from some systems' IP helpers.
class CIpHelperNeighbourTable : public CNeighbourTable
{
public:
    SNeighbour LinkAddressOf(const CPeerAddress& peer) override
    {
        const ADDRESS_FAMILY family = peer.Family() == 4 ? AF_INET : AF_INET6;
        CTable<MIB_UNICASTIPADDRESS_TABLE, MIB_UNICASTIPADDRESS_ROW> own;
        CTable<MIB_IPFORWARD_TABLE2, MIB_IPFORWARD_ROW2> routes;
        CTable<MIB_IPNET_TABLE2, MIB_IPNET_ROW2> neighbours;
        const struct
        {
            const char* what;
            DWORD code;
        } reads[] = {
            {"own addresses", GetUnicastIpAddressTable(family, own.Out())},
            {"routes", GetIpForwardTable2(family, routes.Out())},
            {"neighbour table", GetIpNetTable2(family, neighbours.Out())},
        };
        for (const auto& read : reads) {
            if (read.code != NO_ERROR) {
                SNeighbour failed;
                failed.why = std::string(read.what) + ": error " + std::to_string(read.code);
                return failed;
            }
        }
        std::vector<SAddressRow> ownRows;
        for (const MIB_UNICASTIPADDRESS_ROW& row : own.Rows()) {
            ownRows.push_back({Family(row.Address), Bytes(row.Address)});
        }
        std::vector<SRouteRow> routeRows;
        for (const MIB_IPFORWARD_ROW2& row : routes.Rows()) {
            routeRows.push_back({Family(row.DestinationPrefix.Prefix), Bytes(row.DestinationPrefix.Prefix),
                                 row.DestinationPrefix.PrefixLength, !Unspecified(row.NextHop), row.InterfaceIndex,
                                 row.Metric});
        }
        std::vector<SNeighbourRow> neighbourRows;
        for (const MIB_IPNET_ROW2& row : neighbours.Rows()) {
            SNeighbourRow entry;
            entry.family = Family(row.Address);
            entry.address = Bytes(row.Address);
            entry.interfaceIndex = row.InterfaceIndex;
            entry.resolved = row.State != NlnsUnreachable && row.State != NlnsIncomplete;
            entry.linkAddressLength = std::min<ULONG>(row.PhysicalAddressLength, 32);
            std::memcpy(entry.linkAddress.data(), row.PhysicalAddress, entry.linkAddressLength);
            neighbourRows.push_back(entry);
        }
        return ChooseNeighbour(peer, ownRows, routeRows, neighbourRows);
    }
};

} // namespace

std::unique_ptr<CNeighbourTable> CreateNeighbourTable()
{
    return std::make_unique<CIpHelperNeighbourTable>();
}

} // namespace ZiRez
