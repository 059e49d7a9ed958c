#include "CRegistryKey.h"

#include "CSettingsStore.h"

#include <utility>

namespace {

// Enumerated names are limited to 512 characters; one more for the terminator.
constexpr uint32_t kNameBuffer = kMaxRegistryNameLength + 1;

} // namespace

CRegistryKey::CRegistryKey(const CRegistryKey& other) : m_root(other.m_root), m_access(other.m_access)
{
    if (other.m_handle != 0) {
        Open(other.m_root, other.m_path, other.m_access);
    }
}

CRegistryKey::CRegistryKey(CRegistryKey&& other) noexcept
    : m_root(other.m_root), m_handle(std::exchange(other.m_handle, 0)), m_path(std::move(other.m_path)),
      m_access(other.m_access), m_subkeyIndex(other.m_subkeyIndex), m_subkeyName(std::move(other.m_subkeyName)),
      m_valueIndex(other.m_valueIndex), m_valueName(std::move(other.m_valueName))
{
    other.ForgetEnumeration();
    other.m_path.clear();
}

CRegistryKey& CRegistryKey::operator=(CRegistryKey&& other) noexcept
{
    if (this != &other) {
        Close();
        m_root = other.m_root;
        m_handle = std::exchange(other.m_handle, 0);
        m_path = std::move(other.m_path);
        m_access = other.m_access;
        m_subkeyIndex = other.m_subkeyIndex;
        m_subkeyName = std::move(other.m_subkeyName);
        m_valueIndex = other.m_valueIndex;
        m_valueName = std::move(other.m_valueName);
        other.ForgetEnumeration();
        other.m_path.clear();
    }
    return *this;
}

CRegistryKey::~CRegistryKey()
{
    Close();
}

void CRegistryKey::ForgetEnumeration()
{
    m_subkeyIndex = kNoIndex;
    m_subkeyName.clear();
    m_valueIndex = kNoIndex;
    m_valueName.clear();
}

int32_t CRegistryKey::Open(RegistryHandle root, std::string_view path, uint32_t access)
{
    // The path may be our own (Reopen, self-assignment guard aside): copy before closing.
    std::string wanted(path);
    if (const int32_t code = Close(); code != 0) {
        return code;
    }
    RegistryHandle handle = 0;
    if (const int32_t code = SettingsStore().OpenKey(root, wanted, access, &handle); code != 0) {
        return code;
    }
    m_root = root;
    m_handle = handle;
    m_path = std::move(wanted);
    m_access = access;
    return 0;
}

int32_t CRegistryKey::Reopen()
{
    return Reopen(m_access);
}

int32_t CRegistryKey::Reopen(uint32_t access)
{
    const std::string path = m_path;
    return Open(m_root, path, access);
}

int32_t CRegistryKey::Close()
{
    if (m_handle == 0) {
        return 0;
    }
    const int32_t code = SettingsStore().CloseKey(m_handle);
    m_handle = 0;
    m_path.clear();
    ForgetEnumeration();
    return code;
}

int32_t CRegistryKey::Flush()
{
    return SettingsStore().FlushKey(m_handle);
}

std::string CRegistryKey::GetPath() const
{
    return m_path;
}

CRegistryKey& CRegistryKey::operator=(const CRegistryKey& other)
{
    if (this == &other) {
        return *this;
    }
    if (other.m_handle == 0) {
        // A closed key copies as closed (opening its empty path would open the root).
        Close();
        m_root = other.m_root;
        m_access = other.m_access;
        return *this;
    }
    Open(other.m_root, other.m_path, other.m_access);
    return *this;
}

RegistryHandle CRegistryKey::GetHandle() const
{
    return m_handle;
}

int32_t CRegistryKey::GetSubkeyIndex() const
{
    return m_subkeyIndex;
}

std::string CRegistryKey::GetSubkeyName() const
{
    return m_subkeyName;
}

int32_t CRegistryKey::EnumSubkey(int32_t index, char* className, uint32_t* classLength, RegistryFileTime* lastWrite)
{
    if (index == m_subkeyIndex) {
        return 0;
    }
    char name[kNameBuffer];
    uint32_t length = 0;
    const int32_t code = SettingsStore().EnumKey(m_handle, static_cast<uint32_t>(index), name, kNameBuffer, &length,
                                                 className, classLength, lastWrite);
    if (code != 0) {
        m_subkeyIndex = kFailedIndex;
        m_subkeyName.clear();
        return code;
    }
    m_subkeyIndex = index;
    m_subkeyName.assign(name, length);
    return 0;
}

std::string CRegistryKey::SubkeyNameAt(int32_t index)
{
    EnumSubkey(index, nullptr, nullptr, nullptr);
    return m_subkeyName;
}

int32_t CRegistryKey::CreateSubkeyAndOpen(std::string_view name, uint32_t options, CRegistryKey* target,
                                          uint32_t access, uint32_t* disposition)
{
    RegistryHandle created = 0;
    const int32_t code = SettingsStore().CreateKey(m_handle, name, options, access, &created, disposition);
    if (code != 0) {
        return code;
    }
    SettingsStore().CloseKey(created);
    if (target != nullptr) {
        target->Open(m_handle, name, access);
    }
    return code;
}

int32_t CRegistryKey::CreateSubkey(std::string_view name, uint32_t options, RegistryHandle* handleOut, uint32_t access,
                                   uint32_t* disposition)
{
    RegistryHandle created = 0;
    const int32_t code = SettingsStore().CreateKey(m_handle, name, options, access, &created, disposition);
    if (handleOut != nullptr) {
        *handleOut = created;
    } else if (created != 0) {
        SettingsStore().CloseKey(created);
    }
    return code;
}

int32_t CRegistryKey::DeleteSubkey(std::string_view name)
{
    return SettingsStore().DeleteKey(m_handle, name);
}

int32_t CRegistryKey::SetValue(std::string_view name, const void* bytes, uint32_t length, uint32_t type)
{
    return SettingsStore().SetValue(m_handle, name, type, bytes, length);
}

int32_t CRegistryKey::SetValues(std::span<const RegistryValue> values)
{
    return SettingsStore().SetValues(m_handle, values);
}

int32_t CRegistryKey::QueryValue(std::string_view name, void* buffer, uint32_t* length, uint32_t* type)
{
    return SettingsStore().QueryValue(m_handle, name, type, buffer, length);
}

int32_t CRegistryKey::DeleteValue(std::string_view name)
{
    return SettingsStore().DeleteValue(m_handle, name);
}

int32_t CRegistryKey::GetValueIndex() const
{
    return m_valueIndex;
}

std::string CRegistryKey::GetValueName() const
{
    return m_valueName;
}

int32_t CRegistryKey::EnumValue(int32_t index, void* buffer, uint32_t* length, uint32_t* type)
{
    if (index == m_valueIndex) {
        return 0;
    }
    char name[kNameBuffer];
    uint32_t nameLength = 0;
    const int32_t code = SettingsStore().EnumValue(m_handle, static_cast<uint32_t>(index), name, kNameBuffer,
                                                   &nameLength, type, buffer, length);
    if (code != 0) {
        m_valueIndex = kFailedIndex;
        m_valueName.clear();
        return code;
    }
    m_valueIndex = index;
    m_valueName.assign(name, nameLength);
    return 0;
}

std::string CRegistryKey::ValueNameAt(int32_t index)
{
    EnumValue(index, nullptr, nullptr, nullptr);
    return m_valueName;
}

int32_t CloseRegistryHandle(RegistryHandle handle)
{
    return SettingsStore().CloseKey(handle);
}
