#include "CKeyListCache.h"

#include "Log.h"
#include "settings/CKeyStore.h"
#include "settings/StoreMessages.h"

#include <map>
#include <string>

std::shared_ptr<const CKeyListCache::KeyList> CKeyListCache::LastLoaded() const
{
    static const auto empty = std::make_shared<const KeyList>();
    return m_list ? m_list : empty;
}

std::shared_ptr<const CKeyListCache::KeyList> CKeyListCache::Unchanged(uint64_t changes) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (changes != 0 && changes == m_confirmedChanges && Clock::now() < m_recheckAt) {
        return m_list;
    }
    return nullptr;
}

void CKeyListCache::Confirm(uint64_t changes)
{
    m_confirmedChanges = changes;
    m_recheckAt = Clock::now() + kRecheckInterval;
}

std::shared_ptr<const CKeyListCache::KeyList> CKeyListCache::CachedAt(uint64_t version, uint64_t changes)
{
    std::lock_guard<std::mutex> guard(m_lock);
    // Version 0 means the store could not tell: never trust a snapshot then.
    if (m_list && version != 0 && version == m_version) {
        Confirm(changes);
        return m_list;
    }
    if (m_failedLoads > 0 && Clock::now() < m_nextTry) {
        return LastLoaded();
    }
    return nullptr;
}

std::shared_ptr<const CKeyListCache::KeyList> CKeyListCache::Current()
{
    // Each is taken before what it vouches for (the count before the version, the version
    // before the list), so a change in between shows at the next request.
    const uint64_t changes = m_store.ChangeCount();
    if (auto list = Unchanged(changes)) {
        return list;
    }
    if (auto list = CachedAt(m_store.KeyListVersion(), changes)) {
        return list;
    }
    std::lock_guard<std::mutex> reload(m_reloadLock);
    const uint64_t version = m_store.KeyListVersion();
    if (auto list = CachedAt(version, changes)) {
        return list;
    }
    return Reload(version, changes);
}

std::shared_ptr<const CKeyListCache::KeyList> CKeyListCache::Reload(uint64_t version, uint64_t changes)
{
    std::map<std::string, CKeyRecord> loaded;
    const bool read = m_store.ReadKeyList(loaded) == 1;
    // Built before the lock is taken: requests go on meanwhile with the list they have.
    auto list = read ? std::make_shared<const KeyList>(loaded.begin(), loaded.end(), loaded.size()) : nullptr;
    std::lock_guard<std::mutex> guard(m_lock);
    if (read) {
        m_list = std::move(list);
        m_version = version;
        Confirm(changes);
        m_foreign = false;
        if (m_failedLoads > 0) {
            LogLine("key list loaded again after " + std::to_string(m_failedLoads) + " failed loads");
            m_failedLoads = 0;
        }
        return m_list;
    }
    if (m_store.CheckMachineIdentity() == CKeyStore::Identity::Foreign) {
        // Every key of it would be unmasked wrong, and the keys loaded before came from a
        // store that is no longer there: none is served until the store is this machine's.
        if (!m_foreign) {
            LogLine(StoreMessages::ForeignIdentity(m_store.Inspect(false).path));
            m_foreign = true;
        }
        m_list = std::make_shared<const KeyList>();
        m_version = version;
        Confirm(changes);
        m_failedLoads = 0;
        return m_list;
    }
    m_failedLoadTotal.fetch_add(1, std::memory_order_relaxed);
    if (m_failedLoads++ == 0) {
        LogLine("cannot load the key list from the store: serving the " + std::to_string(LastLoaded()->size()) +
                " keys loaded last (keys deleted meanwhile are still handed out) until a load succeeds");
    }
    m_nextTry = Clock::now() + m_retryInterval;
    return LastLoaded();
}
