#pragma once

#include "RegistryTypes.h"
#include "StoreCondition.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace Platform {
class CEvent;
}

// The operations the settings store underneath CRegistryKey offers, one per registry
// call it stands in for. Handles come from this interface and go back to it; results
// are store codes. One implementation per platform; SettingsStore() picks it.
class CSettingsStore
{
public:
    virtual ~CSettingsStore() = default;

    virtual int32_t OpenKey(RegistryHandle root, std::string_view path, uint32_t access, RegistryHandle* out) = 0;
    virtual int32_t CloseKey(RegistryHandle key) = 0;
    virtual int32_t FlushKey(RegistryHandle key) = 0;
    virtual int32_t CreateKey(RegistryHandle parent, std::string_view path, uint32_t options, uint32_t access,
                              RegistryHandle* out, uint32_t* disposition) = 0;
    virtual int32_t DeleteKey(RegistryHandle parent, std::string_view name) = 0;
    virtual int32_t SetValue(RegistryHandle key, std::string_view name, uint32_t type, const void* bytes,
                             uint32_t length) = 0;
    // Writes the values in one change: every one of them, or none (an invalid name or a
    // failed write leaves the key as it was). A later value of the same name wins.
    virtual int32_t SetValues(RegistryHandle key, std::span<const RegistryValue> values) = 0;
    // The writes to several open keys in one change: all of them, or none.
    virtual int32_t WriteValues(std::span<const RegistryKeyWrite> writes) = 0;
    virtual int32_t QueryValue(RegistryHandle key, std::string_view name, uint32_t* type, void* buffer,
                               uint32_t* length) = 0;
    virtual int32_t DeleteValue(RegistryHandle key, std::string_view name) = 0;
    // nameOut receives at most nameCapacity - 1 characters and a terminator; a longer
    // name gives kErrorMoreData. nameLength, when given, receives the name's length.
    virtual int32_t EnumKey(RegistryHandle key, uint32_t index, char* nameOut, uint32_t nameCapacity,
                            uint32_t* nameLength, char* className, uint32_t* classLength,
                            RegistryFileTime* lastWrite) = 0;
    virtual int32_t EnumValue(RegistryHandle key, uint32_t index, char* nameOut, uint32_t nameCapacity,
                              uint32_t* nameLength, uint32_t* type, void* data, uint32_t* dataLength) = 0;
    virtual int32_t NotifyChange(RegistryHandle key, bool watchSubtree, uint32_t filter, Platform::CEvent* event) = 0;

    // Changes at or below the folded key path, plus creation and deletion of the key at
    // existencePath; see CKeyStore::KeyListVersion.
    virtual uint64_t SubtreeVersion(std::string_view path, std::string_view existencePath) = 0;

    // A number that every committed change, by any process, moves before its call returns;
    // 0 when unknown. Reads nothing of the store itself: cheap enough for every request.
    virtual uint64_t ChangeCount() = 0;

    // kErrorSuccess when this process may change the store: it can be opened for writing and
    // a write transaction can begin. Writes no key and no value.
    virtual int32_t CheckWriteAccess() = 0;

    // What keeps this process from reading the store, or from changing it with
    // forWriting; looks without changing anything.
    virtual StoreCondition Inspect(bool forWriting) = 0;

    // Writes one consistent copy of the whole store into a new file beside it, named name
    // and the store's own ending (.db, .hiv), readable by its owner only, and gives its path. kErrorAlreadyExists when
    // such a file exists (it is never replaced); on any failure no file is left behind. A store that cannot be copied
    // says kErrorNotSupported.
    virtual int32_t CopyBeside(std::string_view /*name*/, std::string* /*path*/) { return kErrorNotSupported; }
};

// The most descriptors the store of a process holds open at once; a process that limits
// its own use of descriptors sets this many aside for the store.
inline constexpr size_t kSettingsStoreDescriptors = 16;

// The store of this process (the SQLite store in the state directory unless replaced).
CSettingsStore& SettingsStore();

// Replaces the store of this process (fault doubles in tests); nullptr restores it.
void SetSettingsStoreForTesting(CSettingsStore* store);

// What the store noticed that the administrator should hear of (its file replaced under
// the process, ...), one line each; the key service logs them, other programs drop them.
// The sink is called from any thread and must not call the store.
using StoreNoticeSink = void (*)(const std::string& notice);
void SetStoreNoticeSink(StoreNoticeSink sink);
void StoreNotice(const std::string& notice);
