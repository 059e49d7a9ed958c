#pragma once

#include "settings/CSettingsStore.h"

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

class CConnectionPool;
class CChangeCounter;
class CChangeWatcher;
class CSqliteConnection;
struct CKeyHandle;

// The settings store on Linux: one SQLite database, settings.db, in a directory. Handles
// are entries of this object's handle table (key row, folded path, access and the
// enumeration snapshots); the key row is checked on each use, so a handle whose key
// was deleted reports kErrorKeyDeleted. Safe for many threads and many processes.
class CSqliteStore : public CSettingsStore
{
public:
    explicit CSqliteStore(std::string directory);
    ~CSqliteStore() override;
    CSqliteStore(const CSqliteStore&) = delete;
    CSqliteStore& operator=(const CSqliteStore&) = delete;

    int32_t OpenKey(RegistryHandle root, std::string_view path, uint32_t access, RegistryHandle* out) override;
    int32_t CloseKey(RegistryHandle key) override;
    int32_t FlushKey(RegistryHandle key) override;
    int32_t CreateKey(RegistryHandle parent, std::string_view path, uint32_t options, uint32_t access,
                      RegistryHandle* out, uint32_t* disposition) override;
    int32_t DeleteKey(RegistryHandle parent, std::string_view name) override;
    int32_t SetValue(RegistryHandle key, std::string_view name, uint32_t type, const void* bytes,
                     uint32_t length) override;
    int32_t SetValues(RegistryHandle key, std::span<const RegistryValue> values) override;
    int32_t WriteValues(std::span<const RegistryKeyWrite> writes) override;
    int32_t QueryValue(RegistryHandle key, std::string_view name, uint32_t* type, void* buffer,
                       uint32_t* length) override;
    int32_t DeleteValue(RegistryHandle key, std::string_view name) override;
    int32_t EnumKey(RegistryHandle key, uint32_t index, char* nameOut, uint32_t nameCapacity, uint32_t* nameLength,
                    char* className, uint32_t* classLength, RegistryFileTime* lastWrite) override;
    int32_t EnumValue(RegistryHandle key, uint32_t index, char* nameOut, uint32_t nameCapacity, uint32_t* nameLength,
                      uint32_t* type, void* data, uint32_t* dataLength) override;
    int32_t NotifyChange(RegistryHandle key, bool watchSubtree, uint32_t filter, Platform::CEvent* event) override;
    uint64_t SubtreeVersion(std::string_view path, std::string_view existencePath) override;
    uint64_t ChangeCount() override;
    int32_t CheckWriteAccess() override;
    StoreCondition Inspect(bool forWriting) override;
    int32_t CopyBeside(std::string_view name, std::string* path) override;

private:
    std::shared_ptr<CKeyHandle> Find(RegistryHandle key);
    RegistryHandle Insert(int64_t keyId, std::string path, uint32_t access);
    int32_t CheckKey(CSqliteConnection& connection, int64_t keyId);
    int32_t LoadValues(CKeyHandle& handle);
    int32_t LoadSubkeys(CKeyHandle& handle);
    // After every commit: the change count moves, then watchers here and elsewhere wake.
    void Committed();

    std::unique_ptr<CConnectionPool> m_pool;
    std::unique_ptr<CChangeWatcher> m_watcher;
    std::unique_ptr<CChangeCounter> m_counter;
    std::mutex m_mutex;
    std::unordered_map<RegistryHandle, std::shared_ptr<CKeyHandle>> m_handles;
};
