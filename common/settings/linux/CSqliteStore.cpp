#include "CSqliteStore.h"

#include "BufferCopy.h"
#include "CChangeCounter.h"
#include "CChangeLog.h"
#include "CChangeWatcher.h"
#include "CConnectionPool.h"
#include "CKeyHandle.h"
#include "CKeyWrite.h"
#include "CStatement.h"
#include "KeyPath.h"
#include "keys/AsciiCase.h"

#include <atomic>
#include <chrono>
#include <sqlite3.h>
#include <vector>

namespace {

constexpr int64_t kRootKeyId = CKeyHandle::kRootKeyId;
constexpr int64_t kSoftwareKeyId = CKeyHandle::kSoftwareKeyId;

// Handles are never reused, so a stale handle cannot reach another key. They start
// above the range of predefined handles.
std::atomic<uint64_t> g_nextHandle{sizeof(RegistryHandle) > 4 ? (uint64_t{1} << 32) : 0x1000};

// Now as a file time: 100 ns intervals since 1601-01-01.
int64_t FileTimeNow()
{
    constexpr int64_t kEpochDifference = 116444736000000000LL;
    const auto sinceUnix = std::chrono::system_clock::now().time_since_epoch();
    return kEpochDifference + std::chrono::duration_cast<std::chrono::nanoseconds>(sinceUnix).count() / 100;
}

} // namespace

CSqliteStore::CSqliteStore(std::string directory)
    : m_pool(std::make_unique<CConnectionPool>(std::move(directory))),
      m_watcher(std::make_unique<CChangeWatcher>(*m_pool)),
      m_counter(std::make_unique<CChangeCounter>(m_pool->Directory() + "/settings.changes"))
{}

void CSqliteStore::Committed()
{
    m_counter->Bump();
    m_watcher->Committed();
}

uint64_t CSqliteStore::ChangeCount()
{
    return m_counter->Read();
}

CSqliteStore::~CSqliteStore()
{
    m_watcher.reset();
}

std::shared_ptr<CKeyHandle> CSqliteStore::Find(RegistryHandle key)
{
    if (key == kHKeyLocalMachine) {
        // Always open; a fresh entry per call so that threads share no snapshot.
        return std::make_shared<CKeyHandle>(kRootKeyId, std::string(), kKeyAllAccess);
    }
    std::lock_guard lock(m_mutex);
    const auto it = m_handles.find(key);
    return it == m_handles.end() ? nullptr : it->second;
}

RegistryHandle CSqliteStore::Insert(int64_t keyId, std::string path, uint32_t access)
{
    const auto handle = static_cast<RegistryHandle>(g_nextHandle.fetch_add(1));
    auto entry = std::make_shared<CKeyHandle>(keyId, std::move(path), access);
    std::lock_guard lock(m_mutex);
    m_handles.emplace(handle, std::move(entry));
    return handle;
}

int32_t CSqliteStore::CheckKey(CSqliteConnection& connection, int64_t keyId)
{
    CStatement statement(connection, StatementId::KeyExists);
    statement.Bind(1, keyId);
    if (statement.Step()) {
        return kErrorSuccess;
    }
    return statement.Failed() ? kErrorRegistryIoFailed : kErrorKeyDeleted;
}

int32_t CSqliteStore::OpenKey(RegistryHandle root, std::string_view path, uint32_t access, RegistryHandle* out)
{
    if (out == nullptr) {
        return kErrorInvalidParameter;
    }
    *out = 0;
    const auto base = Find(root);
    if (!base) {
        return kErrorInvalidHandle;
    }
    std::vector<std::string_view> names;
    if (!KeyPath::Split(path, names)) {
        return kErrorFileNotFound;
    }
    if ((access & kKeyWriteRights) != 0 && !m_pool->Writable()) {
        return kErrorAccessDenied;
    }
    std::string full = base->path;
    for (std::string_view name : names) {
        full = KeyPath::Child(full, name);
    }
    CLease lease = m_pool->Borrow();
    if (lease.Code() == kErrorFileNotFound) {
        // No store yet: only the keys every store begins with exist. Reading creates none.
        const int64_t predefined = full.empty() ? kRootKeyId : full == "software" ? kSoftwareKeyId : 0;
        if (predefined == 0) {
            return kErrorFileNotFound;
        }
        *out = Insert(predefined, std::move(full), access);
        return kErrorSuccess;
    }
    if (lease.Code() != 0) {
        return lease.Code();
    }
    int64_t keyId = base->keyId;
    if (names.empty()) {
        if (const int32_t code = CheckKey(*lease, keyId); code != 0) {
            return code;
        }
    } else {
        CStatement find(*lease, StatementId::FindKeyByPath);
        find.Bind(1, full);
        if (!find.Step()) {
            if (find.Failed()) {
                return kErrorRegistryIoFailed;
            }
            const int32_t code = CheckKey(*lease, base->keyId);
            return code != 0 ? code : kErrorFileNotFound;
        }
        keyId = find.Integer(0);
    }
    *out = Insert(keyId, std::move(full), access);
    return kErrorSuccess;
}

int32_t CSqliteStore::CloseKey(RegistryHandle key)
{
    if (key == kHKeyLocalMachine) {
        return kErrorSuccess;
    }
    // Disarm first: once the close returns, no notification of this handle is delivered.
    m_watcher->Disarm(key);
    std::lock_guard lock(m_mutex);
    return m_handles.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

int32_t CSqliteStore::FlushKey(RegistryHandle key)
{
    const auto handle = Find(key);
    if (!handle) {
        return kErrorInvalidHandle;
    }
    CLease lease = m_pool->Borrow();
    if (lease.Code() != 0) {
        return lease.Code();
    }
    // Every commit is already synced to disk (synchronous=FULL); nothing is pending.
    return CheckKey(*lease, handle->keyId);
}

int32_t CSqliteStore::CreateKey(RegistryHandle parent, std::string_view path, uint32_t /*options*/, uint32_t access,
                                RegistryHandle* out, uint32_t* disposition)
{
    if (out != nullptr) {
        *out = 0;
    }
    const auto base = Find(parent);
    if (!base) {
        return kErrorInvalidHandle;
    }
    std::vector<std::string_view> names;
    if (!KeyPath::Split(path, names) || names.empty()) {
        return kErrorInvalidParameter;
    }
    if ((base->access & kKeyCreateSubKey) == 0 || !m_pool->Writable()) {
        return kErrorAccessDenied;
    }
    CKeyWrite write(*m_pool);
    if (write.Code() != 0) {
        return write.Code();
    }
    if (const int32_t code = CheckKey(*write, base->keyId); code != 0) {
        return code;
    }
    int64_t keyId = base->keyId;
    std::string full = base->path;
    bool created = false;
    const int64_t now = FileTimeNow();
    for (std::string_view name : names) {
        std::string child = KeyPath::Child(full, name);
        CStatement find(*write, StatementId::FindKeyByPath);
        find.Bind(1, child);
        if (find.Step()) {
            keyId = find.Integer(0);
            created = false;
        } else {
            if (find.Failed()) {
                return kErrorRegistryIoFailed;
            }
            if (!CStatement(*write, StatementId::InsertKey)
                     .Bind(1, keyId)
                     .Bind(2, name)
                     .Bind(3, child)
                     .Bind(4, now)
                     .Run() ||
                !CStatement(*write, StatementId::TouchKey).Bind(1, keyId).Bind(2, now).Run()) {
                return kErrorRegistryIoFailed;
            }
            keyId = sqlite3_last_insert_rowid(write->Handle());
            if (!CChangeLog::Record(*write, full, CChangeLog::kSubkeyNames) ||
                !CChangeLog::Record(*write, child, CChangeLog::kKeyCreated)) {
                return kErrorRegistryIoFailed;
            }
            created = true;
        }
        full = std::move(child);
    }
    if (!write.Commit()) {
        return kErrorRegistryIoFailed;
    }
    Committed();
    if (out != nullptr) {
        *out = Insert(keyId, std::move(full), access);
    }
    if (disposition != nullptr) {
        *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
    }
    return kErrorSuccess;
}

int32_t CSqliteStore::DeleteKey(RegistryHandle parent, std::string_view name)
{
    const auto base = Find(parent);
    if (!base) {
        return kErrorInvalidHandle;
    }
    std::vector<std::string_view> names;
    if (!KeyPath::Split(name, names) || names.empty()) {
        return kErrorInvalidParameter;
    }
    if (!m_pool->Writable()) {
        return kErrorAccessDenied;
    }
    std::string full = base->path;
    for (std::string_view part : names) {
        full = KeyPath::Child(full, part);
    }
    CKeyWrite write(*m_pool);
    if (write.Code() != 0) {
        return write.Code();
    }
    if (const int32_t code = CheckKey(*write, base->keyId); code != 0) {
        return code;
    }
    CStatement find(*write, StatementId::FindKeyByPath);
    find.Bind(1, full);
    if (!find.Step()) {
        return find.Failed() ? kErrorRegistryIoFailed : kErrorFileNotFound;
    }
    const int64_t keyId = find.Integer(0);
    if (keyId == kSoftwareKeyId) {
        return kErrorAccessDenied; // predefined, as on the platform it stands in for
    }
    CStatement children(*write, StatementId::KeyHasChildren);
    children.Bind(1, keyId);
    if (children.Step() || children.Failed()) {
        return children.Failed() ? kErrorRegistryIoFailed : kErrorAccessDenied;
    }
    if (!CStatement(*write, StatementId::DeleteKeyValues).Bind(1, keyId).Run() ||
        !CStatement(*write, StatementId::DeleteKeyRow).Bind(1, keyId).Run() ||
        !CChangeLog::Record(*write, KeyPath::Parent(full), CChangeLog::kSubkeyNames) ||
        !CChangeLog::Record(*write, full, CChangeLog::kKeyDeleted) || !write.Commit()) {
        return kErrorRegistryIoFailed;
    }
    Committed();
    return kErrorSuccess;
}

int32_t CSqliteStore::SetValue(RegistryHandle key, std::string_view name, uint32_t type, const void* bytes,
                               uint32_t length)
{
    const RegistryValue value{name, type, bytes, length};
    return SetValues(key, std::span<const RegistryValue>(&value, 1));
}

int32_t CSqliteStore::SetValues(RegistryHandle key, std::span<const RegistryValue> values)
{
    const RegistryKeyWrite write{key, false, values};
    return WriteValues(std::span<const RegistryKeyWrite>(&write, 1));
}

int32_t CSqliteStore::WriteValues(std::span<const RegistryKeyWrite> writes)
{
    std::vector<std::shared_ptr<CKeyHandle>> handles;
    handles.reserve(writes.size());
    for (const RegistryKeyWrite& write : writes) {
        auto handle = Find(write.key);
        if (!handle) {
            return kErrorInvalidHandle;
        }
        for (const RegistryValue& value : write.values) {
            if (!KeyPath::IsValidName(value.name, false) || (value.bytes == nullptr && value.length > 0)) {
                return kErrorInvalidParameter;
            }
        }
        if ((handle->access & kKeySetValue) == 0) {
            return kErrorAccessDenied;
        }
        handles.push_back(std::move(handle));
    }
    if (!m_pool->Writable()) {
        return kErrorAccessDenied;
    }
    CKeyWrite change(*m_pool);
    if (change.Code() != 0) {
        return change.Code();
    }
    std::string folded;
    const int64_t now = FileTimeNow();
    for (size_t i = 0; i < writes.size(); ++i) {
        const CKeyHandle& handle = *handles[i];
        if (const int32_t code = CheckKey(*change, handle.keyId); code != 0) {
            return code;
        }
        if (writes[i].replaceAll && !CStatement(*change, StatementId::DeleteKeyValues).Bind(1, handle.keyId).Run()) {
            return kErrorRegistryIoFailed;
        }
        for (const RegistryValue& value : writes[i].values) {
            const std::string_view data(static_cast<const char*>(value.bytes),
                                        value.bytes == nullptr ? 0 : value.length);
            folded = LowerAscii(value.name);
            if (!CStatement(*change, StatementId::UpsertValue)
                     .Bind(1, handle.keyId)
                     .Bind(2, folded)
                     .Bind(3, value.name)
                     .Bind(4, int64_t{value.type})
                     .Bind(5, data)
                     .Run()) {
                return kErrorRegistryIoFailed;
            }
        }
        if (!CStatement(*change, StatementId::TouchKey).Bind(1, handle.keyId).Bind(2, now).Run() ||
            !CChangeLog::Record(*change, handle.path, CChangeLog::kValues)) {
            return kErrorRegistryIoFailed;
        }
    }
    if (!change.Commit()) {
        return kErrorRegistryIoFailed;
    }
    Committed();
    return kErrorSuccess;
}
