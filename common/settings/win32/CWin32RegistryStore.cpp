#include "CWin32RegistryStore.h"

#include "CRegistryChangeCount.h"
#include "platform/CEvent.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"
#include "settings/CKeyStore.h"

#include <map>
#include <optional>
#include <vector>

namespace {

HKEY Native(RegistryHandle handle)
{
    return reinterpret_cast<HKEY>(handle);
}

RegistryHandle Ours(HKEY key)
{
    return reinterpret_cast<RegistryHandle>(key);
}

// A name with a NUL in it would be cut short by the W calls: refused, as the other
// platform's store refuses it.
bool Storable(std::string_view name)
{
    return name.find('\0') == std::string_view::npos;
}

std::wstring Wide(std::string_view name)
{
    return Platform::Widen(name);
}

// Copies a name into the caller's buffer of capacity characters with its terminator.
int32_t CopyName(const std::string& name, char* out, uint32_t capacity, uint32_t* length)
{
    if (length != nullptr) {
        *length = static_cast<uint32_t>(name.size());
    }
    if (out == nullptr || name.size() + 1 > capacity) {
        return kErrorMoreData;
    }
    name.copy(out, name.size());
    out[name.size()] = '\0';
    return kErrorSuccess;
}

// What a value held before a write replaced it: nothing, or its type and bytes.
struct CPrior
{
    std::optional<DWORD> type;
    std::vector<BYTE> bytes;
};

CPrior ReadPrior(HKEY key, const std::wstring& name)
{
    CPrior prior;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return prior;
    }
    prior.bytes.resize(size);
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, prior.bytes.data(), &size) == ERROR_SUCCESS) {
        prior.type = type;
        prior.bytes.resize(size);
    }
    return prior;
}

// Value names are unique in the registry without regard to case.
std::wstring Folded(std::wstring name)
{
    CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
    return name;
}

std::vector<std::wstring> ValueNames(HKEY key)
{
    std::vector<std::wstring> names;
    wchar_t name[16384];
    for (DWORD index = 0;; ++index) {
        DWORD length = 16384;
        if (RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            return names;
        }
        names.emplace_back(name, length);
    }
}

// One change of several values of several keys, undone as a whole when a step fails.
class CUndoableWrite
{
public:
    ~CUndoableWrite()
    {
        if (!m_done) {
            Undo();
        }
    }

    LSTATUS Set(HKEY key, const std::wstring& name, DWORD type, const void* bytes, DWORD length)
    {
        Remember(key, name);
        return RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(bytes), length);
    }

    LSTATUS Delete(HKEY key, const std::wstring& name)
    {
        Remember(key, name);
        return RegDeleteValueW(key, name.c_str());
    }

    void Done() { m_done = true; }

private:
    void Remember(HKEY key, const std::wstring& name) { m_priors.try_emplace({key, name}, ReadPrior(key, name)); }

    void Undo()
    {
        for (const auto& [where, prior] : m_priors) {
            if (prior.type) {
                RegSetValueExW(where.first, where.second.c_str(), 0, *prior.type, prior.bytes.data(),
                               static_cast<DWORD>(prior.bytes.size()));
            } else {
                RegDeleteValueW(where.first, where.second.c_str());
            }
        }
    }

    std::map<std::pair<HKEY, std::wstring>, CPrior> m_priors;
    bool m_done = false;
};

LSTATUS WriteOne(CUndoableWrite& change, const RegistryKeyWrite& write)
{
    const HKEY key = Native(write.key);
    std::map<std::wstring, bool> written;
    for (const RegistryValue& value : write.values) {
        if (!Storable(value.name)) {
            return ERROR_INVALID_PARAMETER;
        }
        const std::wstring name = Wide(value.name);
        if (const LSTATUS code = change.Set(key, name, value.type, value.bytes, value.length); code != ERROR_SUCCESS) {
            return code;
        }
        written[Folded(name)] = true;
    }
    if (!write.replaceAll) {
        return ERROR_SUCCESS;
    }
    for (const std::wstring& name : ValueNames(key)) {
        if (written.count(Folded(name)) == 0) {
            if (const LSTATUS code = change.Delete(key, name); code != ERROR_SUCCESS) {
                return code;
            }
        }
    }
    return ERROR_SUCCESS;
}

LSTATUS WriteAll(std::span<const RegistryKeyWrite> writes)
{
    CUndoableWrite change;
    for (const RegistryKeyWrite& write : writes) {
        if (const LSTATUS code = WriteOne(change, write); code != ERROR_SUCCESS) {
            return code;
        }
    }
    change.Done();
    return ERROR_SUCCESS;
}

} // namespace

CWin32RegistryStore::CWin32RegistryStore(std::string machineRoot, std::string copyFolder)
    : m_rootPath(std::move(machineRoot)), m_copyFolder(std::move(copyFolder))
{
    if (m_rootPath.empty()) {
        m_root = Ours(HKEY_LOCAL_MACHINE);
    } else {
        HKEY root = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(m_rootPath).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root,
                            nullptr) == ERROR_SUCCESS) {
            m_root = Ours(root);
        }
    }
    m_changes = std::make_unique<CRegistryChangeCount>(CRegistryChangeCount::SectionOf(m_rootPath), Native(m_root),
                                                       Wide(CKeyStore::kProductPath));
}

CWin32RegistryStore::~CWin32RegistryStore()
{
    m_changes.reset();
    if (!m_rootPath.empty() && m_root != 0) {
        RegCloseKey(Native(m_root));
    }
}

int32_t CWin32RegistryStore::Counted(int32_t code)
{
    m_changes->Bump();
    return code;
}

RegistryHandle CWin32RegistryStore::Root(RegistryHandle root) const
{
    return root == kHKeyLocalMachine ? m_root : root;
}

int32_t CWin32RegistryStore::OpenKey(RegistryHandle root, std::string_view path, uint32_t access, RegistryHandle* out)
{
    if (!Storable(path) || Root(root) == 0) {
        return kErrorInvalidParameter;
    }
    HKEY key = nullptr;
    const LSTATUS code = RegOpenKeyExW(Native(Root(root)), Wide(path).c_str(), 0, access, &key);
    *out = code == ERROR_SUCCESS ? Ours(key) : 0;
    return code;
}

int32_t CWin32RegistryStore::CloseKey(RegistryHandle key)
{
    return key == kHKeyLocalMachine ? kErrorSuccess : RegCloseKey(Native(key));
}

int32_t CWin32RegistryStore::FlushKey(RegistryHandle key)
{
    return RegFlushKey(Native(Root(key)));
}

int32_t CWin32RegistryStore::CreateKey(RegistryHandle parent, std::string_view path, uint32_t options, uint32_t access,
                                       RegistryHandle* out, uint32_t* disposition)
{
    if (!Storable(path) || Root(parent) == 0) {
        return kErrorInvalidParameter;
    }
    HKEY key = nullptr;
    DWORD created = 0;
    const LSTATUS code =
        RegCreateKeyExW(Native(Root(parent)), Wide(path).c_str(), 0, nullptr, options, access, nullptr, &key, &created);
    if (code != ERROR_SUCCESS) {
        return code;
    }
    if (created == REG_CREATED_NEW_KEY) {
        m_changes->Bump();
    }
    if (disposition != nullptr) {
        *disposition = created;
    }
    if (out != nullptr) {
        *out = Ours(key);
    } else {
        RegCloseKey(key);
    }
    return kErrorSuccess;
}

int32_t CWin32RegistryStore::DeleteKey(RegistryHandle parent, std::string_view name)
{
    if (!Storable(name)) {
        return kErrorInvalidParameter;
    }
    return Counted(RegDeleteKeyW(Native(Root(parent)), Wide(name).c_str()));
}

int32_t CWin32RegistryStore::SetValue(RegistryHandle key, std::string_view name, uint32_t type, const void* bytes,
                                      uint32_t length)
{
    if (!Storable(name)) {
        return kErrorInvalidParameter;
    }
    return Counted(RegSetValueExW(Native(key), Wide(name).c_str(), 0, type, static_cast<const BYTE*>(bytes), length));
}

int32_t CWin32RegistryStore::SetValues(RegistryHandle key, std::span<const RegistryValue> values)
{
    const RegistryKeyWrite write{key, false, values};
    return WriteValues(std::span(&write, 1));
}

int32_t CWin32RegistryStore::WriteValues(std::span<const RegistryKeyWrite> writes)
{
    std::lock_guard lock(m_writeLock);
    // Counted also when undone: a reader may have loaded the values written meanwhile.
    return Counted(WriteAll(writes));
}

int32_t CWin32RegistryStore::QueryValue(RegistryHandle key, std::string_view name, uint32_t* type, void* buffer,
                                        uint32_t* length)
{
    if (!Storable(name)) {
        return kErrorInvalidParameter;
    }
    DWORD valueType = 0;
    DWORD size = length != nullptr ? *length : 0;
    const LSTATUS code = RegQueryValueExW(Native(key), Wide(name).c_str(), nullptr, &valueType,
                                          static_cast<BYTE*>(buffer), length != nullptr ? &size : nullptr);
    if (code == ERROR_SUCCESS || code == ERROR_MORE_DATA) {
        if (type != nullptr) {
            *type = valueType;
        }
        if (length != nullptr) {
            *length = size;
        }
    }
    return code;
}

int32_t CWin32RegistryStore::DeleteValue(RegistryHandle key, std::string_view name)
{
    if (!Storable(name)) {
        return kErrorInvalidParameter;
    }
    return Counted(RegDeleteValueW(Native(key), Wide(name).c_str()));
}

int32_t CWin32RegistryStore::EnumKey(RegistryHandle key, uint32_t index, char* nameOut, uint32_t nameCapacity,
                                     uint32_t* nameLength, char* className, uint32_t* classLength,
                                     RegistryFileTime* lastWrite)
{
    wchar_t name[256];
    DWORD length = 256;
    wchar_t keyClass[256];
    DWORD keyClassLength = 256;
    FILETIME written{};
    const LSTATUS code =
        RegEnumKeyExW(Native(Root(key)), index, name, &length, nullptr, keyClass, &keyClassLength, &written);
    if (code != ERROR_SUCCESS) {
        return code;
    }
    if (lastWrite != nullptr) {
        *lastWrite = {written.dwLowDateTime, written.dwHighDateTime};
    }
    if (className != nullptr && classLength != nullptr) {
        if (CopyName(Platform::Narrow({keyClass, keyClassLength}), className, *classLength, classLength) !=
            kErrorSuccess) {
            return kErrorMoreData;
        }
    }
    return CopyName(Platform::Narrow({name, length}), nameOut, nameCapacity, nameLength);
}

int32_t CWin32RegistryStore::EnumValue(RegistryHandle key, uint32_t index, char* nameOut, uint32_t nameCapacity,
                                       uint32_t* nameLength, uint32_t* type, void* data, uint32_t* dataLength)
{
    static thread_local wchar_t name[16384];
    DWORD length = 16384;
    DWORD valueType = 0;
    DWORD size = dataLength != nullptr ? *dataLength : 0;
    const LSTATUS code = RegEnumValueW(Native(key), index, name, &length, nullptr, &valueType, static_cast<BYTE*>(data),
                                       dataLength != nullptr ? &size : nullptr);
    if (code != ERROR_SUCCESS && code != ERROR_MORE_DATA) {
        return code;
    }
    if (type != nullptr) {
        *type = valueType;
    }
    if (dataLength != nullptr) {
        *dataLength = size;
    }
    const int32_t named = CopyName(Platform::Narrow({name, length}), nameOut, nameCapacity, nameLength);
    return named != kErrorSuccess ? named : code;
}

int32_t CWin32RegistryStore::NotifyChange(RegistryHandle key, bool watchSubtree, uint32_t filter,
                                          Platform::CEvent* event)
{
    // Thread-agnostic: the arming thread may end before the change comes.
    return RegNotifyChangeKeyValue(Native(Root(key)), watchSubtree ? TRUE : FALSE, filter | REG_NOTIFY_THREAD_AGNOSTIC,
                                   event->Descriptor(), TRUE);
}

uint64_t CWin32RegistryStore::SubtreeVersion(std::string_view, std::string_view)
{
    return m_changes->Watched();
}

uint64_t CWin32RegistryStore::ChangeCount()
{
    return m_changes->Read();
}

int32_t CWin32RegistryStore::CheckWriteAccess()
{
    RegistryHandle key = 0;
    int32_t code = OpenKey(kHKeyLocalMachine, CKeyStore::kProductPath, kKeyAllAccess, &key);
    if (code == kErrorFileNotFound) {
        // No branch yet: whoever may create it below SOFTWARE may change the store.
        code = OpenKey(kHKeyLocalMachine, "SOFTWARE", kKeyCreateSubKey, &key);
    }
    if (code == kErrorSuccess) {
        CloseKey(key);
    }
    return code;
}

StoreCondition CWin32RegistryStore::Inspect(bool forWriting)
{
    StoreCondition condition;
    condition.path = ProductBranchName();
    RegistryHandle key = 0;
    const int32_t code =
        OpenKey(kHKeyLocalMachine, CKeyStore::kProductPath, forWriting ? kKeyAllAccess : kKeyRead, &key);
    switch (code) {
    case kErrorSuccess:
        CloseKey(key);
        condition.path.clear();
        return condition;
    case kErrorFileNotFound:
        // A store that is not there yet is created by the first change, for whoever may
        // create it; there is nothing to read from it.
        if (!forWriting) {
            condition.problem = StoreProblem::Missing;
        } else if (CheckWriteAccess() != kErrorSuccess) {
            condition.problem = StoreProblem::NoAccess;
        } else {
            condition.path.clear();
        }
        return condition;
    case kErrorAccessDenied:
        condition.problem = StoreProblem::NoAccess;
        return condition;
    default:
        condition.problem = StoreProblem::Failed;
        condition.detail = "error " + std::to_string(code);
        return condition;
    }
}

std::string CWin32RegistryStore::ProductBranchName() const
{
    return "HKLM\\" + (m_rootPath.empty() ? std::string() : m_rootPath + "\\") + CKeyStore::kProductPath;
}
