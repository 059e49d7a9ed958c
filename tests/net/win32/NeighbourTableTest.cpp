// The neighbour table on Windows, read from the IP helper's tables: what the rows of own
// addresses, routes and neighbour entries tell of a peer (rows made here, as the system's
// cannot be set up under test), and a look-up of the system's own tables.
#include "net/CNeighbourTable.h"
#include "net/win32/NeighbourChoice.h"
#include "platform/win32/Win32.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using ZiRez::CNeighbourTable;
using ZiRez::CPeerAddress;

std::array<uint8_t, 16> Bytes(const char* text)
{
    const CPeerAddress address = CPeerAddress::FromText(text);
    std::array<uint8_t, 16> bytes{};
    std::copy_n(address.Bytes(), address.Length(), bytes.begin());
    return bytes;
}

CPeerAddress LinkLocal(const char* text, uint32_t scope)
{
    sockaddr_storage storage{};
    auto& address = reinterpret_cast<sockaddr_in6&>(storage);
    address.sin6_family = AF_INET6;
    inet_pton(AF_INET6, text, &address.sin6_addr);
    address.sin6_scope_id = scope;
    return CPeerAddress::FromSocketAddress(storage);
}

TEST(NeighbourTable, TheRowsTellWhereThePeerIsAndItsLinkAddress)
{
    const ZiRez::SAddressRow own[] = {{4, Bytes("192.0.2.2")}};
    const ZiRez::SRouteRow routes[] = {
        {4, Bytes("0.0.0.0"), 0, true, 4, 0},       {4, Bytes("192.0.2.0"), 24, false, 4, 0},
        {4, Bytes("198.51.100.0"), 24, true, 4, 0}, {4, Bytes("198.51.100.128"), 25, false, 5, 0},
        {4, Bytes("203.0.0.0"), 16, true, 4, 10},   {4, Bytes("203.0.0.0"), 16, false, 6, 5},
    };
    const ZiRez::SNeighbourRow neighbours[] = {
        {4, Bytes("192.0.2.1"), 4, true, {2, 0xfc, 0, 0, 0, 5}, 6},
        {4, Bytes("192.0.2.9"), 4, false, {2, 0xfc, 0, 0, 0, 9}, 6},
        {4, Bytes("192.0.2.11"), 7, true, {2, 0xfc, 0, 0, 0, 11}, 6},
        {4, Bytes("192.0.2.12"), 4, true, {}, 0},
        {4, Bytes("198.51.100.200"), 5, true, {2, 0xfc, 0, 0, 0, 200}, 6},
        {4, Bytes("203.0.1.1"), 6, true, {2, 0xfc, 0, 0, 1, 1}, 6},
        {6, Bytes("fe80::1"), 3, true, {2, 0xfc, 0, 0, 0xfe, 1}, 6},
    };
    const struct
    {
        CPeerAddress peer;
        CNeighbourTable::Outcome outcome;
        uint8_t last; // the link address's last byte when found
    } cases[] = {
        {CPeerAddress::FromText("192.0.2.1"), CNeighbourTable::Outcome::Found, 5},
        {CPeerAddress::FromText("192.0.2.2"), CNeighbourTable::Outcome::Local, 0},
        {CPeerAddress::FromText("127.0.0.1"), CNeighbourTable::Outcome::Local, 0},
        {CPeerAddress::FromText("::1"), CNeighbourTable::Outcome::Local, 0},
        {CPeerAddress::FromText("192.0.2.9"), CNeighbourTable::Outcome::Missing, 0},  // still incomplete
        {CPeerAddress::FromText("192.0.2.10"), CNeighbourTable::Outcome::Missing, 0}, // no entry
        {CPeerAddress::FromText("192.0.2.11"), CNeighbourTable::Outcome::Missing, 0}, // entry of another link
        {CPeerAddress::FromText("192.0.2.12"), CNeighbourTable::Outcome::Missing, 0}, // no link address
        {CPeerAddress::FromText("198.51.100.7"), CNeighbourTable::Outcome::Routed, 0},
        {CPeerAddress::FromText("198.51.100.200"), CNeighbourTable::Outcome::Found, 200}, // the longer prefix
        {CPeerAddress::FromText("203.0.1.1"), CNeighbourTable::Outcome::Found, 1},        // the lower metric
        {CPeerAddress::FromText("192.0.3.1"), CNeighbourTable::Outcome::Routed, 0},       // the default route
        {CPeerAddress::FromText("2001:db8::1"), CNeighbourTable::Outcome::Missing, 0},    // no route at all
        {LinkLocal("fe80::1", 3), CNeighbourTable::Outcome::Found, 1},                    // its own link
        {LinkLocal("fe80::1", 4), CNeighbourTable::Outcome::Missing, 0},
    };
    for (const auto& c : cases) {
        const CNeighbourTable::SNeighbour found = ZiRez::ChooseNeighbour(c.peer, own, routes, neighbours);
        EXPECT_EQ(found.outcome, c.outcome) << c.peer.Text() << ": " << found.why;
        if (c.outcome == CNeighbourTable::Outcome::Found) {
            EXPECT_EQ(found.address[0], 2) << c.peer.Text();
            EXPECT_EQ(found.address[5], c.last) << c.peer.Text();
        }
    }
}

TEST(NeighbourTable, TheSystemsTablesAreRead)
{
    const auto table = ZiRez::CreateNeighbourTable();
    const CNeighbourTable::SNeighbour loopback = table->LinkAddressOf(CPeerAddress::FromText("127.0.0.1"));
    EXPECT_EQ(loopback.outcome, CNeighbourTable::Outcome::Local) << loopback.why;
    // A documentation address no system has: never found, whatever the tables hold. (Wine's
    // IP helper has no IPv6 neighbour table: an IPv6 look-up fails there and says so.)
    const CNeighbourTable::SNeighbour nowhere = table->LinkAddressOf(CPeerAddress::FromText("198.51.100.77"));
    EXPECT_NE(nowhere.outcome, CNeighbourTable::Outcome::Found) << nowhere.why;
    EXPECT_NE(nowhere.outcome, CNeighbourTable::Outcome::Failed) << nowhere.why;
}

} // namespace
