// The cost of the metrics on GET_KEY: alternating rounds against one service with its
// metrics folder set and off.
#include "LoadRun.h"
#include "Scenarios.h"
#include "settings/CMetricsSettings.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Sets the folder ("" for off) and waits for the listener the change reopens.
bool SetMetricsDir(CBenchSession& session, const std::string& folder)
{
    const size_t opened = session.Service().CountLog("listening on port");
    return CMetricsSettings::Write(folder) == 1 && session.Service().WaitForLog("listening on port", opened + 1, 10000);
}

} // namespace

int RunMetricsScenario(const BenchOptions& options)
{
    BenchOptions piped = options;
    piped.pipeLog = true; // the service logs as under the journal, into a pipe drained here
    CBenchSession session(piped);
    session.RegisterUpTo(options.keys);
    session.StartService();
    Harness::CTempDir folder;
    std::printf("metrics: GET_KEY from %d clients, %zu keys, %d alternating rounds of %.1f s each with the metrics "
                "folder set and off\n",
                options.clients, options.keys, options.rounds, options.seconds);
    std::fflush(stdout);
    LoadSettings settings = SettingsOf(options);
    settings.seconds = options.warmupSeconds;
    uint64_t errors = settings.seconds > 0 ? RunLoad(session.Address(), settings).errors : 0;
    settings.seconds = options.seconds;
    struct Side
    {
        const char* name;
        std::string folder;
        std::vector<double> rates;
        std::vector<double> p99s;
    } sides[] = {{"off", "", {}, {}}, {"set", folder.Path(), {}, {}}};
    bool switched = true;
    for (int round = 0; round < options.rounds; ++round) {
        for (Side& side : sides) {
            switched = SetMetricsDir(session, side.folder) && switched;
            const LoadResult result = RunLoad(session.Address(), settings);
            errors += result.errors;
            side.rates.push_back(result.Rate());
            side.p99s.push_back(static_cast<double>(result.latency.Percentile(99)) / 1e6);
            const std::string label = "  round " + std::to_string(round + 1) + " metrics " + side.name;
            PrintLoad(label.c_str(), result);
        }
    }
    const bool written = std::filesystem::exists(folder.Path() + "/" + CMetricsSettings::kFileName);
    const double ratio = Median(sides[1].rates) / Median(sides[0].rates);
    std::printf("metrics: median GET_KEY/s off %.0f, set %.0f: %.3fx; median p99 off %.3f ms, set %.3f ms; file "
                "written: %s\n",
                Median(sides[0].rates), Median(sides[1].rates), ratio, Median(sides[0].p99s), Median(sides[1].p99s),
                written ? "yes" : "NO");
    ReportTarget("GET_KEY rate with the metrics folder set: at least 0.98x the rate with it off", ratio >= 0.98);
    const bool stopped = session.StopService();
    return errors == 0 && switched && written && stopped ? 0 : 1;
}
