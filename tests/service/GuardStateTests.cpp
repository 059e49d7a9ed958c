// What the guards remember of peers: refused units for the log, units served lately.
#include "service/CRecentHits.h"
#include "service/CRefusedUnits.h"

#include <algorithm>
#include <gtest/gtest.h>

using ZiRez::CPeerAddress;

// One line per peer address, a minute after its first refusal, naming the IDs it asked
// for (escaped, at most four); a peer refused again later starts a new minute.
TEST(RefusedUnits, OneLinePerPeerAndMinuteNamesTheIds)
{
    CRefusedUnits refused(2);
    const auto start = CRefusedUnits::Clock::now();
    const CPeerAddress unit = CPeerAddress::FromText("2001:db8:1::20");
    const CPeerAddress other = CPeerAddress::FromText("192.0.2.9");
    for (const char* id : {"00A0B0C0D0E0", "00A0B0C0D0E0", "A\nB", "3", "4", "5"}) {
        refused.Add(unit, id, start);
    }
    refused.Add(other, "00A0B0C0D0E1", start + std::chrono::seconds(30));
    refused.Add(CPeerAddress::FromText("192.0.2.10"), "X", start); // past the capacity
    EXPECT_TRUE(refused.TakeLines(start + std::chrono::seconds(59)).empty());
    EXPECT_EQ(refused.TakeLines(start + std::chrono::seconds(60)),
              std::vector<std::string>{"throttle refused 2001:db8:1::20 in the last minute: 6 requests for registered "
                                       "IDs 00A0B0C0D0E0, A\\x0AB, 3, 4 (and 1 from peers not listed)"});
    refused.Add(unit, "00A0B0C0D0E0", start + std::chrono::seconds(61));
    auto lines = refused.TakeLines(start + std::chrono::seconds(121));
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "throttle refused 192.0.2.9 in the last minute: 1 requests for registered IDs 00A0B0C0D0E1",
                         "throttle refused 2001:db8:1::20 in the last minute: 1 requests for registered IDs "
                         "00A0B0C0D0E0",
                     }));
}

// A hit is remembered for its address and ID only; when full, the older half makes room.
TEST(RecentHits, RememberTheAddressAndIdServedAndDropTheOldestWhenFull)
{
    CRecentHits hits(4);
    const auto start = CRecentHits::Clock::now();
    const CPeerAddress unit = CPeerAddress::FromText("10.0.0.2");
    hits.Remember(unit, "00A0B0C0D0E0", start);
    EXPECT_TRUE(hits.Holds(unit, "00A0B0C0D0E0", start));
    EXPECT_FALSE(hits.Holds(unit, "00A0B0C0D0E1", start));
    EXPECT_FALSE(hits.Holds(CPeerAddress::FromText("10.0.0.3"), "00A0B0C0D0E0", start));
    EXPECT_FALSE(hits.Holds(unit, "00A0B0C0D0E0", start + CRecentHits::kKept));
    for (int i = 1; i <= 4; ++i) {
        hits.Remember(unit, "ID" + std::to_string(i), start + std::chrono::seconds(i));
    }
    EXPECT_LE(hits.Size(), 4u);
    EXPECT_FALSE(hits.Holds(unit, "00A0B0C0D0E0", start));
    EXPECT_TRUE(hits.Holds(unit, "ID4", start));
}
