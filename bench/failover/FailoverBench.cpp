// Failover time of two key servers behind one floating address: the Ternwick of the server
// holding the address is killed, again and again, and the time from the kill to the first
// key served to the units from the other server is taken. Meanwhile keys change on the other
// server; the time from the killed Ternwick's start again to its serving them is taken too.
// Needs root, iproute2 and keepalived.
#include "FailoverScenario.h"
#include "net/CWinsockSession.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    if (runs < 1 || argc > 2) {
        std::fprintf(stderr, "usage: failover_bench [RUNS] (default 10)\n");
        return 2;
    }
    const ZiRez::CWinsockSession sockets;
    CFailoverPair pair;
    const std::string problem = pair.Start();
    if (!problem.empty()) {
        std::fprintf(stderr, "failover_bench: %s\n", problem.c_str());
        return 1;
    }
    const SFailoverScenario killed{"service killed", KillService, StartService, true};
    std::vector<double> times;
    std::vector<double> inStep;
    for (int run = 1; run <= runs; ++run) {
        const SFailoverOutcome outcome = RunFailoverScenario(pair, killed);
        if (!outcome.failure.empty()) {
            std::fprintf(stderr, "failover_bench: run %d: %s\n", run, outcome.failure.c_str());
            return 1;
        }
        std::printf("run %2d: served again %.0f ms after the kill; back, the changed keys served %.0f ms after its "
                    "start\n",
                    run, outcome.servedAgainMs, outcome.inStepMs);
        std::fflush(stdout);
        times.push_back(outcome.servedAgainMs);
        inStep.push_back(outcome.inStepMs);
    }
    std::sort(times.begin(), times.end());
    std::sort(inStep.begin(), inStep.end());
    const CUnitProbe::SCounts counts = pair.Unit().Counts();
    std::printf("failover (kill -9 of the holder's Ternwick to the first key served), %d runs: p50 %.0f ms, max %.0f "
                "ms\n",
                runs, times[(times.size() - 1) / 2], times.back());
    std::printf("catch-up (the returning Ternwick's start to its serving the keys changed while it was away), %d runs: "
                "p50 %.0f ms, max %.0f ms\n",
                runs, inStep[(inStep.size() - 1) / 2], inStep.back());
    std::printf("unit requests: %llu served, %llu unanswered, %llu refused, %llu wrong keys\n",
                static_cast<unsigned long long>(counts.served), static_cast<unsigned long long>(counts.unanswered),
                static_cast<unsigned long long>(counts.refused), static_cast<unsigned long long>(counts.wrong));
    return counts.wrong == 0 && counts.refused == 0 ? 0 : 1;
}
