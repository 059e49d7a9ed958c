#pragma once

#include "settings/CKeyRecord.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class CKeyStore;

// A snapshot of the key list shared by all requests. Every request checks the store's
// record of changes first and reloads only when the list changed, so it sees exactly
// what a fresh load would give (a registration is visible to the very next request)
// without the cost of loading thousands of keys each time.
class CKeyListCache
{
public:
    using KeyList = std::map<std::string, CKeyRecord>;

    explicit CKeyListCache(CKeyStore& store) : m_store(store) {}
    CKeyListCache(const CKeyListCache&) = delete;
    CKeyListCache& operator=(const CKeyListCache&) = delete;

    std::shared_ptr<const KeyList> Current();

    // How often the list has been loaded from the store.
    uint64_t LoadCount() const;

    // The cache of the service process, over the process's store.
    static CKeyListCache& Shared();

private:
    std::shared_ptr<const KeyList> CachedAt(uint64_t version) const;

    CKeyStore& m_store;
    mutable std::mutex m_lock;
    // Serialises reloads: concurrent requests after a change load the list once.
    std::mutex m_reloadLock;
    std::shared_ptr<const KeyList> m_list;
    uint64_t m_version = 0;
    uint64_t m_loads = 0;
};
