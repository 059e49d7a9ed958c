#pragma once

#include "RegistryTypes.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The one access path to the settings store: an owned handle on one key, with the
// remembered root, path and access so that it can be reopened or copied, and the
// position of the last subkey and value enumeration. Results are store codes (0 success).
// An object is used by one thread at a time; each object owns its own handle.
class CRegistryKey
{
public:
    static constexpr int32_t kNoIndex = -1;
    static constexpr int32_t kFailedIndex = 65535;

    CRegistryKey() = default;
    // The copy opens its own handle on the same root, path and access (a closed object
    // copies as closed); enumeration starts afresh.
    CRegistryKey(const CRegistryKey& other);
    // Takes over the handle; the source is left closed.
    CRegistryKey(CRegistryKey&& other) noexcept;
    CRegistryKey& operator=(CRegistryKey&& other) noexcept;

    virtual ~CRegistryKey();

    // Opens an existing key below root (never creates); closes this object first.
    virtual int32_t Open(RegistryHandle root, std::string_view path, uint32_t access);
    virtual int32_t Reopen();
    virtual int32_t Reopen(uint32_t access);
    // Clears handle, path and enumeration state; the root stays. 0 when nothing was open.
    virtual int32_t Close();
    virtual int32_t Flush();
    virtual std::string GetPath() const;
    virtual CRegistryKey& operator=(const CRegistryKey& other);
    virtual RegistryHandle GetHandle() const;

    virtual int32_t GetSubkeyIndex() const;
    virtual std::string GetSubkeyName() const;
    // Class buffer, class length and time may be null. Asking again for the index of the
    // last enumeration returns 0 without asking the store.
    virtual int32_t EnumSubkey(int32_t index, char* className, uint32_t* classLength, RegistryFileTime* lastWrite);
    // The subkey name at index; empty at the end or on error.
    virtual std::string SubkeyNameAt(int32_t index);

    // Creates or opens the subkey and, when target is given, opens target on it below
    // this key with the access. Returns the creation's code.
    virtual int32_t CreateSubkeyAndOpen(std::string_view name, uint32_t options, CRegistryKey* target, uint32_t access,
                                        uint32_t* disposition);
    // Creates or opens the subkey; with handleOut the caller owns the new handle
    // (close it with CloseRegistryHandle), else it is closed at once.
    virtual int32_t CreateSubkey(std::string_view name, uint32_t options, RegistryHandle* handleOut, uint32_t access,
                                 uint32_t* disposition);
    // Fails while the subkey has subkeys of its own.
    virtual int32_t DeleteSubkey(std::string_view name);
    virtual int32_t SetValue(std::string_view name, const void* bytes, uint32_t length, uint32_t type);
    // All of the values, or none of them, in one change.
    virtual int32_t SetValues(std::span<const RegistryValue> values);
    // length: buffer size in, value size out; a value larger than the buffer gives
    // kErrorMoreData. buffer and type may be null.
    virtual int32_t QueryValue(std::string_view name, void* buffer, uint32_t* length, uint32_t* type);
    virtual int32_t DeleteValue(std::string_view name);

    virtual int32_t GetValueIndex() const;
    virtual std::string GetValueName() const;
    // Name, and into buffer (size in length, size out) the data of the value at index.
    virtual int32_t EnumValue(int32_t index, void* buffer, uint32_t* length, uint32_t* type);
    // The value name at index; empty at the end or on error.
    virtual std::string ValueNameAt(int32_t index);

private:
    void ForgetEnumeration();

    RegistryHandle m_root = 0;
    RegistryHandle m_handle = 0;
    std::string m_path;
    uint32_t m_access = kKeyAllAccess;
    int32_t m_subkeyIndex = kNoIndex;
    std::string m_subkeyName;
    int32_t m_valueIndex = kNoIndex;
    std::string m_valueName;
};

// Closes a handle handed out by CRegistryKey::CreateSubkey.
int32_t CloseRegistryHandle(RegistryHandle handle);
