#include "CSettingsStore.h"
#include "platform/StateDirectory.h"
#include "sqlite/CSqliteStore.h"

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
    // The one place that picks the platform's store. The state directory is read once.
    // Never destroyed: threads that are still working while the process exits must not
    // meet a store that is being torn down.
    static CSqliteStore* const store = new CSqliteStore(Platform::StateDirectory());
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
