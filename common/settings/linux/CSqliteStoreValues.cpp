// Value reads, deletion, enumeration and notification of the SQLite store.
#include "BufferCopy.h"
#include "CChangeCounter.h"
#include "CChangeLog.h"
#include "CChangeWatcher.h"
#include "CConnectionPool.h"
#include "CKeyHandle.h"
#include "CKeyWrite.h"
#include "CSqliteStore.h"
#include "CStatement.h"
#include "KeyPath.h"
#include "keys/AsciiCase.h"

#include <sqlite3.h>

int32_t CSqliteStore::QueryValue(RegistryHandle key, std::string_view name, uint32_t* type, void* buffer,
                                 uint32_t* length)
{
    const auto handle = Find(key);
    if (!handle) {
        return kErrorInvalidHandle;
    }
    if (buffer != nullptr && length == nullptr) {
        return kErrorInvalidParameter;
    }
    if ((handle->access & kKeyQueryValue) == 0) {
        return kErrorAccessDenied;
    }
    if (!KeyPath::IsValidName(name, false)) {
        return kErrorFileNotFound; // such a value cannot exist
    }
    CLease lease = m_pool->Borrow();
    if (lease.Code() != 0) {
        return lease.Code();
    }
    const std::string folded = LowerAscii(name);
    CStatement query(*lease, StatementId::QueryValue);
    query.Bind(1, handle->keyId).Bind(2, folded);
    if (!query.Step()) {
        if (query.Failed()) {
            return kErrorRegistryIoFailed;
        }
        const int32_t code = CheckKey(*lease, handle->keyId);
        return code != 0 ? code : kErrorFileNotFound;
    }
    if (type != nullptr) {
        *type = static_cast<uint32_t>(query.Integer(0));
    }
    return CopyData(query.Bytes(1), buffer, length);
}

int32_t CSqliteStore::DeleteValue(RegistryHandle key, std::string_view name)
{
    const auto handle = Find(key);
    if (!handle) {
        return kErrorInvalidHandle;
    }
    if ((handle->access & kKeySetValue) == 0 || !m_pool->Writable()) {
        return kErrorAccessDenied;
    }
    if (!KeyPath::IsValidName(name, false)) {
        return kErrorFileNotFound;
    }
    CKeyWrite write(*m_pool);
    if (write.Code() != 0) {
        return write.Code();
    }
    if (const int32_t code = CheckKey(*write, handle->keyId); code != 0) {
        return code;
    }
    const std::string folded = LowerAscii(name);
    if (!CStatement(*write, StatementId::DeleteValue).Bind(1, handle->keyId).Bind(2, folded).Run()) {
        return kErrorRegistryIoFailed;
    }
    if (sqlite3_changes(write->Handle()) == 0) {
        return kErrorFileNotFound;
    }
    if (!CChangeLog::Record(*write, handle->path, CChangeLog::kValues) || !write.Commit()) {
        return kErrorRegistryIoFailed;
    }
    Committed();
    return kErrorSuccess;
}

namespace {

// A key that exists before the store does lists nothing while there is none; any other
// key went away with it.
int32_t NoStoreYet(int32_t code, const CKeyHandle& handle, bool& loaded)
{
    if (code != kErrorFileNotFound) {
        return code;
    }
    loaded = CKeyHandle::Predefined(handle.keyId);
    return loaded ? kErrorSuccess : kErrorKeyDeleted;
}

} // namespace

int32_t CSqliteStore::LoadValues(CKeyHandle& handle)
{
    CLease lease = m_pool->Borrow();
    handle.values.clear();
    handle.valueBytes.clear();
    handle.valuesLoaded = false;
    if (lease.Code() != 0) {
        return NoStoreYet(lease.Code(), handle, handle.valuesLoaded);
    }
    {
        CStatement list(*lease, StatementId::ListValues);
        list.Bind(1, handle.keyId);
        while (list.Step()) {
            const std::string_view name = list.Bytes(0);
            const std::string_view data = list.Bytes(2);
            const CKeyHandle::Value value{handle.valueBytes.size(), static_cast<uint32_t>(name.size()),
                                          static_cast<uint32_t>(list.Integer(1)),
                                          handle.valueBytes.size() + name.size(), static_cast<uint32_t>(data.size())};
            handle.valueBytes.append(name);
            handle.valueBytes.append(data);
            handle.values.push_back(value);
        }
        if (list.Failed()) {
            handle.values.clear();
            handle.valueBytes.clear();
            return kErrorRegistryIoFailed;
        }
    }
    if (handle.values.empty()) {
        if (const int32_t code = CheckKey(*lease, handle.keyId); code != 0) {
            return code;
        }
    }
    handle.valuesLoaded = true;
    return kErrorSuccess;
}

int32_t CSqliteStore::LoadSubkeys(CKeyHandle& handle)
{
    CLease lease = m_pool->Borrow();
    handle.subkeys.clear();
    handle.subkeysLoaded = false;
    if (lease.Code() != 0) {
        return NoStoreYet(lease.Code(), handle, handle.subkeysLoaded);
    }
    {
        CStatement list(*lease, StatementId::ListSubkeys);
        list.Bind(1, handle.keyId);
        while (list.Step()) {
            handle.subkeys.push_back(CKeyHandle::Subkey{std::string(list.Bytes(0)), list.Integer(1)});
        }
        if (list.Failed()) {
            handle.subkeys.clear();
            return kErrorRegistryIoFailed;
        }
    }
    if (handle.subkeys.empty()) {
        if (const int32_t code = CheckKey(*lease, handle.keyId); code != 0) {
            return code;
        }
    }
    handle.subkeysLoaded = true;
    return kErrorSuccess;
}

int32_t CSqliteStore::EnumValue(RegistryHandle key, uint32_t index, char* nameOut, uint32_t nameCapacity,
                                uint32_t* nameLength, uint32_t* type, void* data, uint32_t* dataLength)
{
    const auto handle = Find(key);
    if (!handle) {
        return kErrorInvalidHandle;
    }
    if ((handle->access & kKeyQueryValue) == 0) {
        return kErrorAccessDenied;
    }
    if (data != nullptr && dataLength == nullptr) {
        return kErrorInvalidParameter;
    }
    if (index == 0 || !handle->valuesLoaded) {
        if (const int32_t code = LoadValues(*handle); code != 0) {
            return code;
        }
    }
    if (index >= handle->values.size()) {
        return kErrorNoMoreItems;
    }
    const CKeyHandle::Value& value = handle->values[index];
    if (const int32_t code = CopyName(handle->ValueName(value), nameOut, nameCapacity, nameLength); code != 0) {
        return code;
    }
    if (type != nullptr) {
        *type = value.type;
    }
    return CopyData(handle->ValueData(value), data, dataLength);
}

int32_t CSqliteStore::EnumKey(RegistryHandle key, uint32_t index, char* nameOut, uint32_t nameCapacity,
                              uint32_t* nameLength, char* className, uint32_t* classLength, RegistryFileTime* lastWrite)
{
    const auto handle = Find(key);
    if (!handle) {
        return kErrorInvalidHandle;
    }
    if ((handle->access & kKeyEnumerateSubKeys) == 0) {
        return kErrorAccessDenied;
    }
    if (index == 0 || !handle->subkeysLoaded) {
        if (const int32_t code = LoadSubkeys(*handle); code != 0) {
            return code;
        }
    }
    if (index >= handle->subkeys.size()) {
        return kErrorNoMoreItems;
    }
    const CKeyHandle::Subkey& subkey = handle->subkeys[index];
    if (const int32_t code = CopyName(subkey.name, nameOut, nameCapacity, nameLength); code != 0) {
        return code;
    }
    // Keys carry no class text.
    if (classLength != nullptr) {
        if (className != nullptr && *classLength > 0) {
            className[0] = '\0';
        }
        *classLength = 0;
    }
    if (lastWrite != nullptr) {
        const auto written = static_cast<uint64_t>(subkey.written);
        lastWrite->lowDateTime = static_cast<uint32_t>(written & 0xFFFFFFFFu);
        lastWrite->highDateTime = static_cast<uint32_t>(written >> 32);
    }
    return kErrorSuccess;
}

int32_t CSqliteStore::NotifyChange(RegistryHandle key, bool watchSubtree, uint32_t filter, Platform::CEvent* event)
{
    const auto handle = Find(key);
    if (!handle) {
        return kErrorInvalidHandle;
    }
    constexpr uint32_t kKnownFilters = 0x0F;
    if (event == nullptr || filter == 0 || (filter & ~kKnownFilters) != 0) {
        return kErrorInvalidParameter;
    }
    if ((handle->access & kKeyNotify) == 0) {
        return kErrorAccessDenied;
    }
    int64_t baseline = 0; // no store yet: its first change fires
    {
        CLease lease = m_pool->Borrow();
        if (lease.Code() != 0 && lease.Code() != kErrorFileNotFound) {
            return lease.Code();
        }
        if (lease.Code() == 0) {
            if (const int32_t code = CheckKey(*lease, handle->keyId); code != 0) {
                return code;
            }
            baseline = CChangeLog::Newest(*lease);
            if (baseline < 0) {
                return kErrorRegistryIoFailed;
            }
        }
    }
    return m_watcher->Arm(key, handle->path, watchSubtree, filter, event, baseline) ? kErrorSuccess
                                                                                    : kErrorRegistryIoFailed;
}

uint64_t CSqliteStore::SubtreeVersion(std::string_view path, std::string_view existencePath)
{
    // Asked when the change count moved or has not for a while: the moment to make sure
    // the count is still the one the other processes move.
    m_counter->Revalidate();
    CLease lease = m_pool->Borrow();
    if (lease.Code() != 0) {
        return 0;
    }
    const std::string folded = LowerAscii(path);
    const std::string foldedExistence = LowerAscii(existencePath);
    CStatement sum(*lease, StatementId::SumVersions);
    sum.Bind(1, folded).Bind(2, foldedExistence);
    return sum.Step() ? static_cast<uint64_t>(sum.Integer(0)) : 0;
}

int32_t CSqliteStore::CheckWriteAccess()
{
    if (m_pool->Inspect(true).problem != StoreProblem::None) {
        return kErrorAccessDenied;
    }
    if (m_pool->Inspect(false).problem == StoreProblem::Missing) {
        return kErrorSuccess; // not there yet, and this process may create it
    }
    // Begun and rolled back: the write lock can be had, nothing is changed.
    const CKeyWrite write(*m_pool);
    if (write.Code() == kErrorSuccess) {
        m_counter->PrepareForWriting();
    }
    return write.Code();
}

StoreCondition CSqliteStore::Inspect(bool forWriting)
{
    return m_pool->Inspect(forWriting);
}
