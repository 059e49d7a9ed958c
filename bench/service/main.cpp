// Load generator and measurements for the key service: speaks the protocol as a disk unit
// does against the real Ternwick on a private store and prints the figures.
#include "Scenarios.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

const char kUsage[] = "usage: corvane_loadgen [SCENARIO] [options]\n"
                      "scenarios:\n"
                      "  load         GET_KEY from N clients for a duration (default)\n"
                      "  scaling      the same with 10 and with 10,000 registered keys\n"
                      "  port-change  delay from a write of PortNo to the new listener answering\n"
                      "  idle-memory  resident memory of the service with idle connections open\n"
                      "  visibility   a registration, replacement and deletion seen by the next request\n"
                      "  hostile-push resident memory under pushers that never finish (all: 200, then 1,024)\n"
                      "  half-sent    the same under pushers (1,000) that each send half of a request as large as\n"
                      "               one may be (1 MiB as the service counts it) and then hold\n"
                      "  push         time to the status of a push of K keys (default 10,000)\n"
                      "  versus       side by side with a minimal in-memory server of the protocol\n"
                      "               (alternating rounds, 3 s each unless --seconds is given)\n"
                      "  metrics      GET_KEY with the metrics folder set and off, in alternating rounds\n"
                      "               (3 s each unless --seconds is given)\n"
                      "  syscalls     system calls per request, counted by strace -c -f\n"
                      "  sweep        a sweeper (--clients connections) asking for unknown IDs under the default\n"
                      "               throttle, a unit asking for its own key meanwhile: from 250 loopback\n"
                      "               addresses; as root, in network namespaces of its own, also from the\n"
                      "               unit's IPv6 /64 and from the unit's IPv4 address (a NAT)\n"
                      "  peer-table   memory of the throttle's peer table under 100,000 source addresses\n"
                      "  neighbour-lookup  cost of the release check's neighbour look-up (root: a network\n"
                      "               namespace of its own; --trials thousand look-ups)\n"
                      "  storm [N]    N units (1000) asking for their keys at the same moment, each from its\n"
                      "               own loopback address and trying again 1 s after a failure: Ternwick,\n"
                      "               the minimal server in alternating rounds, then Ternwick while --idle\n"
                      "               silent peers (2000) hold connections\n"
                      "  sync         two services paired as peers: a change here served there (--trials\n"
                      "               changes, 200), a catch-up of 10,000 keys (time, bytes on the wire), and\n"
                      "               GET_KEY with the peer syncing against without (--rounds, 3 s each)\n"
                      "  all          every scenario above, each in its own process and store\n"
                      "options:\n"
                      "  --ternwick PATH   the service binary (default: the one of this build tree)\n"
                      "  --clients N       concurrent clients (16)\n"
                      "  --keys K          registered keys (1000; visibility: 10)\n"
                      "  --seconds S       measured time of a load run (10)\n"
                      "  --warmup S        unmeasured load before it (1)\n"
                      "  --timeout MS      per wait of a client (5000)\n"
                      "  --trials N        port changes / registrations (20 / 200)\n"
                      "  --idle N          idle connections (1000)\n"
                      "  --pushers N       hostile-push: pushers (200); half-sent: (1000)\n"
                      "  --pairs N         hostile-push: pairs per pusher (11396, what one request may hold);\n"
                      "                    half-sent sends half as many\n"
                      "  --rounds N        versus, metrics: rounds for each side (5); storm: (2)\n"
                      "  --check           versus, syscalls: request 1 (CHECK) instead of GET_KEY\n"
                      "  --minimal-threads N  versus: threads of the minimal server in accept() (4); with as\n"
                      "                    many as clients it serves every connection at once, as the service does\n"
                      "  --log FILE        keep the service's standard error in FILE\n"
                      "  --attach PORT     load: use the service running on PORT (its store must hold\n"
                      "                    the units 0..K-1 of this program) instead of starting one\n"
                      "  --threads T       client threads that keep the requests in flight on\n"
                      "                    non-blocking sockets (2); 0: one blocking thread per client\n"
                      "  --ipv6            talk to ::1 instead of 127.0.0.1\n"
                      "  --quickack        clients acknowledge every segment at once (diagnosis: a unit\n"
                      "                    delays its ACKs; this shows the service's cost without them)\n";

using Scenario = int (*)(const BenchOptions&);

const std::map<std::string, Scenario> kScenarios = {
    {"load", RunLoadScenario},
    {"scaling", RunScalingScenario},
    {"port-change", RunPortChangeScenario},
    {"idle-memory", RunIdleMemoryScenario},
    {"visibility", RunVisibilityScenario},
    {"hostile-push", RunHostilePushScenario},
    {"half-sent", RunHalfSentScenario},
    {"push", RunPushScenario},
    {"versus", RunVersusScenario},
    {"sync", RunSyncScenario},
    {"metrics", RunMetricsScenario},
    {"syscalls", RunSyscallScenario},
    {"sweep", RunSweepScenario},
    {"peer-table", RunPeerTableScenario},
    {"neighbour-lookup", RunNeighbourScenario},
    {"storm", RunStormScenario},
};

// The store can be pointed at a directory only once per process, so every scenario of
// "all" runs in a child of its own.
int RunAll(char** argv, int argc)
{
    int failures = 0;
    // A process holds the store of its first session: each run gets a process of its own.
    const std::vector<std::vector<const char*>> runs = {{"idle-memory"},
                                                        {"visibility"},
                                                        {"port-change"},
                                                        {"load"},
                                                        {"scaling"},
                                                        {"push"},
                                                        {"hostile-push", "--pushers", "200"},
                                                        {"hostile-push", "--pushers", "1024"}};
    for (const auto& run : runs) {
        std::vector<std::string> args{"/proc/self/exe"};
        std::string name;
        for (const char* word : run) {
            args.emplace_back(word);
            name += (name.empty() ? "" : " ") + std::string(word);
        }
        args.insert(args.end(), argv + 2, argv + argc);
        std::printf("== %s\n", name.c_str());
        std::fflush(stdout);
        Harness::CChildProcess child;
        const std::optional<int> status = child.Start(args, {}) ? child.WaitExit(24 * 3600 * 1000) : std::nullopt;
        if (!status || Harness::CChildProcess::ExitCode(*status) != 0) {
            std::printf("== %s FAILED\n", name.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

bool ParseNumber(const char* text, double& out)
{
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && out >= 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    // Idle peers and the service (which inherits this limit) need a descriptor each.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    BenchOptions options;
    std::string scenario = "load";
    bool keysGiven = false;
    bool trialsGiven = false;
    bool secondsGiven = false;
    bool idleGiven = false;
    bool timeOutGiven = false;
    bool roundsGiven = false;
    bool pushersGiven = false;
    int first = 1;
    if (argc > 1 && argv[1][0] != '-') {
        scenario = argv[1];
        first = 2;
    }
    double units = 0;
    if (scenario == "storm" && argc > first && ParseNumber(argv[first], units) && units >= 1) {
        options.stormUnits = static_cast<size_t>(units);
        ++first;
    }
    if (scenario == "all") {
        return RunAll(argv, argc);
    }
    for (int i = first; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (option == "--ipv6") {
            options.ipv6 = true;
            continue;
        }
        if (option == "--quickack") {
            options.quickAck = true;
            continue;
        }
        if (option == "--check") {
            options.check = true;
            continue;
        }
        double number = 0;
        if (i + 1 >= argc) {
            std::fprintf(stderr, "corvane_loadgen: %s needs a value\n%s", option.c_str(), kUsage);
            return 1;
        }
        const char* value = argv[++i];
        if (option == "--ternwick") {
            options.ternwick = value;
        } else if (option == "--log") {
            options.logPath = value;
        } else if (!ParseNumber(value, number)) {
            std::fprintf(stderr, "corvane_loadgen: %s wants a number, not \"%s\"\n", option.c_str(), value);
            return 1;
        } else if (option == "--clients" && number >= 1) {
            options.clients = static_cast<int>(number);
        } else if (option == "--keys" && number >= 1) {
            options.keys = static_cast<size_t>(number);
            keysGiven = true;
        } else if (option == "--seconds" && number > 0) {
            options.seconds = number;
            secondsGiven = true;
        } else if (option == "--warmup") {
            options.warmupSeconds = number;
        } else if (option == "--timeout" && number >= 1) {
            options.timeOutMs = static_cast<int>(number);
            timeOutGiven = true;
        } else if (option == "--trials" && number >= 1) {
            options.trials = static_cast<int>(number);
            trialsGiven = true;
        } else if (option == "--attach" && number >= 1 && number <= 65535) {
            options.attachPort = static_cast<uint16_t>(number);
        } else if (option == "--threads") {
            options.loadThreads = static_cast<int>(number);
        } else if (option == "--idle") {
            options.idleConnections = static_cast<int>(number);
            idleGiven = true;
        } else if (option == "--pushers" && number >= 1) {
            options.pushers = static_cast<int>(number);
            pushersGiven = true;
        } else if (option == "--rounds" && number >= 1) {
            options.rounds = static_cast<int>(number);
            roundsGiven = true;
        } else if (option == "--minimal-threads" && number >= 1 && number <= 1024) {
            options.minimalThreads = static_cast<int>(number);
        } else if (option == "--pairs" && number >= 1) {
            options.pushPairs = static_cast<size_t>(number);
        } else {
            std::fprintf(stderr, "corvane_loadgen: unknown or out-of-range option %s %s\n%s", option.c_str(), value,
                         kUsage);
            return 1;
        }
    }
    const auto found = kScenarios.find(scenario);
    if (found == kScenarios.end()) {
        std::fprintf(stderr, "corvane_loadgen: unknown scenario \"%s\"\n%s", scenario.c_str(), kUsage);
        return 1;
    }
    if (scenario == "versus" || scenario == "sync" || scenario == "metrics") {
        options.seconds = secondsGiven ? options.seconds : 3;
    }
    if (scenario == "sync") {
        options.trials = trialsGiven ? options.trials : 200;
        options.rounds = roundsGiven ? options.rounds : 3;
    }
    if (scenario == "storm") {
        options.idleConnections = idleGiven ? options.idleConnections : 2000;
        options.timeOutMs = timeOutGiven ? options.timeOutMs : 30000;
        options.rounds = roundsGiven ? options.rounds : 2;
    }
    if (scenario == "half-sent") {
        options.pushers = pushersGiven ? options.pushers : 1000;
    }
    if (scenario == "push") {
        options.keys = keysGiven ? options.keys : 10000;
    }
    if (scenario == "visibility") {
        options.keys = keysGiven ? options.keys : 10;
        options.trials = trialsGiven ? options.trials : 200;
    }
    try {
        return found->second(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "corvane_loadgen: %s\n", error.what());
        return 1;
    }
}
