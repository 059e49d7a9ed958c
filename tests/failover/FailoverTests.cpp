// Two real key servers paired by peer sync behind one floating address, each with a real
// keepalived configured from the example the package installs, and units asking that
// address for their keys all the time: whichever way the server holding the address fails,
// the other takes it, the units are served again, never a wrong key, and the address stays
// put when the failed server returns. Keys changed while a server is away reach it once it
// returns. Needs root, iproute2 and keepalived.
#include "FailoverScenario.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <unistd.h>

namespace {

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
    // Each row fails the server that holds the address then, which alternates: the server
    // that returned from the second row holds it after the third, and serves the units the
    // keys registered and deleted while it was away.
    const SFailoverScenario scenarios[] = {
        {"service killed", KillService, StartService},
        {"server gone from the network while the keys change on the other", PowerOff, PowerOn, true},
        {"service paused", Pause, Continue},
    };
    for (const SFailoverScenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        const SFailoverOutcome outcome = RunFailoverScenario(pair, scenario);
        EXPECT_EQ(outcome.failure, "");
        if (!outcome.failure.empty()) {
            break;
        }
        std::cout << scenario.name << ": the units were served again " << outcome.servedAgainMs << " ms after";
        if (scenario.keysChangeMeanwhile) {
            std::cout << "; back, it served the changed keys " << outcome.inStepMs << " ms after its start";
        }
        std::cout << "\n";
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
