#include "service/ProcessEntry.h"

#include "service/CControlDispatcher.h"
#include "service/CServiceHost.h"
#include "service/Log.h"
#include "service/linux/CSystemdStatusReporter.h"
#include "settings/CSettingsStore.h"

#include <algorithm>
#include <string>
#include <sys/resource.h>

namespace {

// Descriptors the process needs besides its connections: the store's, the listeners,
// events, standard streams and the log.
constexpr rlim_t kReservedDescriptors = 64;
static_assert(kSettingsStoreDescriptors + 16 <= kReservedDescriptors);
constexpr rlim_t kWantedDescriptors = 8192;
constexpr int kFinalLogDrainMs = 1000;

// Started by hand the soft limit is often 1,024, fewer than the connection cap needs: an
// accept would fail before the cap makes room, and silent peers could lock units out.
// Raise it as far as allowed, and lower the cap to what remains.
int ConnectionCapForDescriptors()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return kMaxConnections;
    }
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < kWantedDescriptors) {
        limit.rlim_cur =
            limit.rlim_max == RLIM_INFINITY ? kWantedDescriptors : std::min(kWantedDescriptors, limit.rlim_max);
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= kMaxConnections + kReservedDescriptors) {
        return kMaxConnections;
    }
    const rlim_t usable =
        limit.rlim_cur > 2 * kReservedDescriptors ? limit.rlim_cur - kReservedDescriptors : limit.rlim_cur / 2;
    return static_cast<int>(usable);
}

} // namespace

int RunTernwick()
{
    // Before any thread exists, so that every later thread inherits the blocked set.
    CControlDispatcher::BlockControlSignals();

    // Outlives every thread of the process: never destroyed.
    static auto* reporter = new CSystemdStatusReporter;
    const int maxConnections = ConnectionCapForDescriptors();
    if (maxConnections < kMaxConnections) {
        LogLine("only " + std::to_string(maxConnections) + " connections at once: the descriptor limit allows no more");
    }
    SetStoreNoticeSink([](const std::string& notice) { LogLine(notice); });
    const int exitCode = CServiceHost::RunProcess(*reporter, maxConnections);
    // The last lines get a moment to reach a slow sink; a stalled one does not hold the exit.
    DrainLog(kFinalLogDrainMs);
    return exitCode;
}
