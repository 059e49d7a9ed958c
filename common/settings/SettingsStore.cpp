#include "CSettingsStore.h"
#include "PlatformStore.h"

#include <atomic>

namespace {

std::atomic<CSettingsStore*> g_replacement{nullptr};
std::atomic<StoreNoticeSink> g_noticeSink{nullptr};

} // namespace

CSettingsStore& SettingsStore()
{
    if (CSettingsStore* replacement = g_replacement.load(std::memory_order_acquire)) {
        return *replacement;
    }
    // Made once (the state directory is read once). Never destroyed: threads that are
    // still working while the process exits must not meet a store that is being torn down.
    static CSettingsStore* const store = NewPlatformStore();
    return *store;
}

void SetSettingsStoreForTesting(CSettingsStore* store)
{
    g_replacement.store(store, std::memory_order_release);
}

void SetStoreNoticeSink(StoreNoticeSink sink)
{
    g_noticeSink.store(sink, std::memory_order_release);
}

void StoreNotice(const std::string& notice)
{
    if (const StoreNoticeSink sink = g_noticeSink.load(std::memory_order_acquire)) {
        sink(notice);
    }
}
