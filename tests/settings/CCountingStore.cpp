#include "CCountingStore.h"

#include "keys/AsciiCase.h"

int32_t CCountingStore::OpenKey(RegistryHandle root, std::string_view path, uint32_t access, RegistryHandle* out)
{
    ++openCalls;
    if (LowerAscii(path) == failOpensOf && failOpens.fetch_sub(1) > 0) {
        return kErrorRegistryIoFailed;
    }
    return m_inner.OpenKey(root, path, access, out);
}

int32_t CCountingStore::CloseKey(RegistryHandle key)
{
    return m_inner.CloseKey(key);
}

int32_t CCountingStore::FlushKey(RegistryHandle key)
{
    return m_inner.FlushKey(key);
}

int32_t CCountingStore::CreateKey(RegistryHandle parent, std::string_view path, uint32_t options, uint32_t access,
                                  RegistryHandle* out, uint32_t* disposition)
{
    if (failWrites) {
        return kErrorRegistryIoFailed;
    }
    return m_inner.CreateKey(parent, path, options, access, out, disposition);
}

int32_t CCountingStore::DeleteKey(RegistryHandle parent, std::string_view name)
{
    if (failWrites || LowerAscii(name) == failDeletesOf) {
        return kErrorRegistryIoFailed;
    }
    return m_inner.DeleteKey(parent, name);
}

int32_t CCountingStore::SetValue(RegistryHandle key, std::string_view name, uint32_t type, const void* bytes,
                                 uint32_t length)
{
    if (failWrites) {
        return kErrorRegistryIoFailed;
    }
    return m_inner.SetValue(key, name, type, bytes, length);
}

int32_t CCountingStore::SetValues(RegistryHandle key, std::span<const RegistryValue> values)
{
    if (failWrites) {
        return kErrorRegistryIoFailed;
    }
    return m_inner.SetValues(key, values);
}

int32_t CCountingStore::QueryValue(RegistryHandle key, std::string_view name, uint32_t* type, void* buffer,
                                   uint32_t* length)
{
    return m_inner.QueryValue(key, name, type, buffer, length);
}

int32_t CCountingStore::DeleteValue(RegistryHandle key, std::string_view name)
{
    if (failWrites) {
        return kErrorRegistryIoFailed;
    }
    return m_inner.DeleteValue(key, name);
}

int32_t CCountingStore::EnumKey(RegistryHandle key, uint32_t index, char* nameOut, uint32_t nameCapacity,
                                uint32_t* nameLength, char* className, uint32_t* classLength,
                                RegistryFileTime* lastWrite)
{
    ++enumKeyCalls;
    return m_inner.EnumKey(key, index, nameOut, nameCapacity, nameLength, className, classLength, lastWrite);
}

int32_t CCountingStore::EnumValue(RegistryHandle key, uint32_t index, char* nameOut, uint32_t nameCapacity,
                                  uint32_t* nameLength, uint32_t* type, void* data, uint32_t* dataLength)
{
    ++enumValueCalls;
    return m_inner.EnumValue(key, index, nameOut, nameCapacity, nameLength, type, data, dataLength);
}

int32_t CCountingStore::NotifyChange(RegistryHandle key, bool watchSubtree, uint32_t filter, Platform::CEvent* event)
{
    return m_inner.NotifyChange(key, watchSubtree, filter, event);
}

uint64_t CCountingStore::SubtreeVersion(std::string_view path, std::string_view existencePath)
{
    return m_inner.SubtreeVersion(path, existencePath);
}

uint64_t CCountingStore::ChangeCount()
{
    return m_inner.ChangeCount();
}

int32_t CCountingStore::CheckWriteAccess()
{
    return m_inner.CheckWriteAccess();
}

StoreCondition CCountingStore::Inspect(bool forWriting)
{
    return m_inner.Inspect(forWriting);
}

int32_t CCountingStore::WriteValues(std::span<const RegistryKeyWrite> writes)
{
    if (failWrites) {
        return kErrorRegistryIoFailed;
    }
    return m_inner.WriteValues(writes);
}
