// Two real key servers behind one floating address, each with a real keepalived
// configured from the example the package installs, and a unit asking that address for
// its key all the time: whichever way the server holding the address fails, the other
// takes it, the unit is served again, never a wrong key, and the address stays put when
// the failed server returns. Needs root, iproute2 and keepalived.
#include "FailoverScenario.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <unistd.h>

namespace {

bool KillService(CFailoverPair& pair, int server, std::string*)
{
    pair.Server(server).KillService();
    return true;
}

bool StartService(CFailoverPair& pair, int server, std::string* problem)
{
    const bool started = pair.Server(server).StartService();
    *problem = pair.Server(server).Problem();
    return started;
}

// No goodbye: the cable is pulled first, then everything on the server ends at once.
bool PowerOff(CFailoverPair& pair, int server, std::string* problem)
{
    if (!pair.Network().Unplug(server)) {
        *problem = pair.Network().Problem();
        return false;
    }
    pair.Server(server).KillKeepalived();
    pair.Server(server).KillService();
    return true;
}

bool PowerOn(CFailoverPair& pair, int server, std::string* problem)
{
    CKeyServerNode& node = pair.Server(server);
    const bool on = pair.Network().Plug(server) && node.StartService() && node.StartKeepalived();
    *problem = pair.Network().Problem() + node.Problem();
    return on;
}

bool Pause(CFailoverPair& pair, int server, std::string*)
{
    pair.Server(server).SignalService(SIGUSR1);
    return true;
}

bool Continue(CFailoverPair& pair, int server, std::string*)
{
    pair.Server(server).SignalService(SIGUSR2);
    return true;
}

} // namespace

TEST(Failover, TheUnitIsServedItsKeyWhicheverWayTheServerHoldingTheAddressFails)
{
    if (std::system("command -v keepalived >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "keepalived is not installed (scripts/setup.sh installs it)";
    }
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to make network namespaces";
    }
    CFailoverPair pair;
    const std::string problem = pair.Start();
    ASSERT_EQ(problem, "");
    // Each row fails the server that holds the address then, which alternates.
    const SFailoverScenario scenarios[] = {
        {"service killed", KillService, StartService},
        {"server gone from the network", PowerOff, PowerOn},
        {"service paused", Pause, Continue},
        // Not here yet, as it needs the servers to keep their keys in step: a key registered
        // on the survivor while the other server is away is served by that one once it has
        // returned and holds the address (registered in one row's failure, asked for by a
        // second unit after the next row has failed the survivor).
    };
    for (const SFailoverScenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        const SFailoverOutcome outcome = RunFailoverScenario(pair, scenario);
        EXPECT_EQ(outcome.failure, "");
        if (!outcome.failure.empty()) {
            break;
        }
        std::cout << scenario.name << ": the unit was served again " << outcome.servedAgainMs << " ms after\n";
    }
    const CUnitProbe::SCounts counts = pair.Unit().Counts();
    std::cout << "requests: " << counts.served << " served, " << counts.unanswered << " unanswered\n";
    EXPECT_EQ(counts.wrong, 0u) << pair.Unit().LastFault();
    EXPECT_EQ(counts.refused, 0u) << pair.Unit().LastFault();
    // A sanitizer build of the service reports into its log without ending it.
    for (int server = 0; server < CFailoverNetwork::kServers; ++server) {
        const std::string log = pair.Server(server).ServiceLog();
        for (const char* report : {"Sanitizer", "runtime error:"}) {
            EXPECT_EQ(log.find(report), std::string::npos) << log;
        }
    }
}
