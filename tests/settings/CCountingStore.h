#pragma once

#include "settings/CSettingsStore.h"

#include <atomic>
#include <string>

// Passes every call to a real store, counting enumerations and optionally failing
// writes: the fault double for checks of what reaches the store.
class CCountingStore : public CSettingsStore
{
public:
    explicit CCountingStore(CSettingsStore& inner) : m_inner(inner) {}

    std::atomic<int> enumValueCalls{0};
    std::atomic<int> enumKeyCalls{0};
    std::atomic<bool> failWrites{false};
    // Opens of keys at this (folded) path fail with an I/O error while the count lasts.
    std::string failOpensOf;
    std::atomic<int> failOpens{0};
    std::atomic<int> openCalls{0};
    // Deletes of keys of this (folded) name fail with an I/O error.
    std::string failDeletesOf;

    int32_t OpenKey(RegistryHandle root, std::string_view path, uint32_t access, RegistryHandle* out) override;
    int32_t CloseKey(RegistryHandle key) override;
    int32_t FlushKey(RegistryHandle key) override;
    int32_t CreateKey(RegistryHandle parent, std::string_view path, uint32_t options, uint32_t access,
                      RegistryHandle* out, uint32_t* disposition) override;
    int32_t DeleteKey(RegistryHandle parent, std::string_view name) override;
    int32_t SetValue(RegistryHandle key, std::string_view name, uint32_t type, const void* bytes,
                     uint32_t length) override;
    int32_t SetValues(RegistryHandle key, std::span<const RegistryValue> values) override;
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
    int32_t WriteValues(std::span<const RegistryKeyWrite> writes) override;

private:
    CSettingsStore& m_inner;
};
