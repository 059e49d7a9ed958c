#include "MachineText.h"

#include "platform/MachineIdentity.h"

#include <mutex>

namespace {

std::mutex g_mutex;
std::string g_cache;
std::optional<std::string> g_forced;

} // namespace

std::string GetMachineText()
{
    // Under the lock, so that concurrent first callers fill the cache once and all see it.
    std::lock_guard lock(g_mutex);
    if (g_forced) {
        return *g_forced;
    }
    if (g_cache.empty()) {
        g_cache = Platform::ReadMachineIdentity();
    }
    return g_cache;
}

void SetMachineTextForTesting(std::optional<std::string> text)
{
    std::lock_guard lock(g_mutex);
    g_forced = std::move(text);
}
