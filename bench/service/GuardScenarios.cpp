// The guards against peers: the memory of the throttle's peer table, and what the release
// check's neighbour look-up costs.
#include "Scenarios.h"
#include "net/CNeighbourTable.h"
#include "service/CPeerThrottle.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <sched.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

int RunPeerTableScenario(const BenchOptions&)
{
    constexpr size_t kAddresses = 100000;
    const auto used = [] {
        const struct mallinfo2 info = mallinfo2();
        return info.uordblks + info.hblkhd;
    };
    const size_t before = used();
    auto* throttle = new CPeerThrottle;
    throttle->Configure(10, 50);
    const auto start = Clock::now();
    for (size_t i = 0; i < kAddresses; ++i) {
        // 10.0.0.0/8 and one /64 each, half and half.
        char text[64];
        if (i % 2 == 0) {
            std::snprintf(text, sizeof text, "10.%zu.%zu.%zu", (i >> 16) & 255, (i >> 8) & 255, i & 255);
        } else {
            std::snprintf(text, sizeof text, "2001:db8:%zx:%zx::1", (i >> 16) & 0xffff, i & 0xffff);
        }
        const ZiRez::CPeerAddress peer = ZiRez::CPeerAddress::FromText(text);
        throttle->Admit(peer, CPeerThrottle::kMiss, start);
    }
    const double takeNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kAddresses;
    const size_t after = used();
    std::printf(
        "peer-table: %zu source addresses (half IPv4, half IPv6 /64s) into a table of %zu peers at most: "
        "%zu held, %.1f MiB (%.0f bytes a peer held), %.0f ns a miss (admitted and spent) with the address parsed\n",
        kAddresses, CPeerThrottle::kDefaultCapacity, throttle->Size(), static_cast<double>(after - before) / (1 << 20),
        static_cast<double>(after - before) / static_cast<double>(throttle->Size()), takeNs);
    delete throttle;
    return 0;
}

int RunNeighbourScenario(const BenchOptions& options)
{
    // A network namespace of this process alone with a veth pair and a neighbour entry.
    if (geteuid() != 0 || unshare(CLONE_NEWNET) != 0) {
        std::printf("neighbour-lookup: SKIPPED (needs root and network namespaces)\n");
        return 0;
    }
    for (const char* command :
         {"ip link set lo up", "ip link add cvb0 type veth peer name cvb1", "ip addr add 10.78.0.1/24 dev cvb0",
          "ip addr add fd78::1/64 dev cvb0 nodad", "ip link set cvb0 up", "ip link set cvb1 up",
          "ip neigh replace 10.78.0.2 lladdr 02:00:00:00:00:01 dev cvb0 nud permanent",
          "ip neigh replace fd78::2 lladdr 02:00:00:00:00:01 dev cvb0 nud permanent"}) {
        if (std::system(command) != 0) {
            std::printf("neighbour-lookup: SKIPPED ('%s' failed)\n", command);
            return 0;
        }
    }
    const auto table = ZiRez::CreateNeighbourTable();
    const int lookups = options.trials * 1000;
    for (const char* peer : {"10.78.0.2", "fd78::2"}) {
        const ZiRez::CPeerAddress address = ZiRez::CPeerAddress::FromText(peer);
        int found = 0;
        const auto start = Clock::now();
        for (int i = 0; i < lookups; ++i) {
            found += table->LinkAddressOf(address).outcome == ZiRez::CNeighbourTable::Outcome::Found ? 1 : 0;
        }
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / lookups;
        std::printf("neighbour-lookup: %s, %d look-ups (route, then neighbour entry; one netlink socket per "
                    "thread): %d found, %.2f us each\n",
                    peer, lookups, found, us);
        if (found != lookups) {
            return 1;
        }
    }
    return 0;
}
