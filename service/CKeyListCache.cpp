#include "CKeyListCache.h"

#include "settings/CKeyStore.h"

std::shared_ptr<const CKeyListCache::KeyList> CKeyListCache::CachedAt(uint64_t version) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    // Version 0 means the store could not tell: never trust a snapshot then.
    if (m_list && version != 0 && version == m_version) {
        return m_list;
    }
    return nullptr;
}

std::shared_ptr<const CKeyListCache::KeyList> CKeyListCache::Current()
{
    // The version is taken before the list is loaded, so a change during the load shows
    // as a different version at the next request.
    if (auto list = CachedAt(m_store.KeyListVersion())) {
        return list;
    }
    std::lock_guard<std::mutex> reload(m_reloadLock);
    const uint64_t version = m_store.KeyListVersion();
    if (auto list = CachedAt(version)) {
        return list;
    }
    auto list = std::make_shared<const KeyList>(m_store.LoadKeyList());
    std::lock_guard<std::mutex> guard(m_lock);
    m_list = list;
    m_version = version;
    ++m_loads;
    return list;
}

uint64_t CKeyListCache::LoadCount() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_loads;
}

CKeyListCache& CKeyListCache::Shared()
{
    static CKeyStore store;
    static CKeyListCache cache(store);
    return cache;
}
