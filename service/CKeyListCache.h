#pragma once

#include "keys/CKeyRecord.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

class CKeyStore;

// A snapshot of the key list shared by all requests. Every request checks the store's
// record of changes first and reloads only when the list changed, so it sees exactly
// what a fresh load would give (a registration is visible to the very next request)
// without the cost of loading thousands of keys each time. The first look is the store's
// change count, a memory read; only when it moved (or a second passed, in case a writer
// died between its commit and the count) is the key list's version asked for.
//
// A load that fails is never taken for an empty list: requests are served from the last
// list loaded (keys deleted meanwhile are still handed out), the failure is logged once,
// and a load is tried again at most once per retry interval. The one exception is a store
// that belongs to another machine identity: no key is served from it, nor from before it.
class CKeyListCache
{
public:
    // Hashed: every request looks its identifier up, whatever the number of keys.
    using KeyList = std::unordered_map<std::string, CKeyRecord>;
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kRetryInterval{1000};
    static constexpr std::chrono::milliseconds kRecheckInterval{1000};

    explicit CKeyListCache(CKeyStore& store, std::chrono::milliseconds retryInterval = kRetryInterval)
        : m_store(store), m_retryInterval(retryInterval)
    {}
    CKeyListCache(const CKeyListCache&) = delete;
    CKeyListCache& operator=(const CKeyListCache&) = delete;

    std::shared_ptr<const KeyList> Current();

    // Loads that failed since the start.
    uint64_t FailedLoadCount() const { return m_failedLoadTotal.load(std::memory_order_relaxed); }

private:
    std::shared_ptr<const KeyList> Unchanged(uint64_t changes) const;
    std::shared_ptr<const KeyList> CachedAt(uint64_t version, uint64_t changes);
    std::shared_ptr<const KeyList> Reload(uint64_t version, uint64_t changes);
    // With the lock held: the snapshot is the list as of this change count.
    void Confirm(uint64_t changes);
    std::shared_ptr<const KeyList> LastLoaded() const;

    CKeyStore& m_store;
    const std::chrono::milliseconds m_retryInterval;
    mutable std::mutex m_lock;
    // Serialises reloads: concurrent requests after a change load the list once.
    std::mutex m_reloadLock;
    std::shared_ptr<const KeyList> m_list;
    uint64_t m_version = 0;
    uint64_t m_confirmedChanges = 0;
    Clock::time_point m_recheckAt;
    // A failure episode: from the first failed load to the next one that succeeds.
    uint64_t m_failedLoads = 0;
    std::atomic<uint64_t> m_failedLoadTotal{0};
    bool m_foreign = false;
    Clock::time_point m_nextTry;
};
