#include "CKeyStore.h"

#include "CSettingsStore.h"
#include "MachineText.h"

#include <algorithm>
#include <sstream>
#include <string>

namespace {

constexpr const char* kPortValue = "PortNo";
constexpr const char* kPasswordValue = "BinData";

// Settings operations report failure as a result, never as an exception (allocation
// failure included).
template <typename Result, typename Body> Result Guarded(Result fallback, Body body) noexcept
{
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}

bool OpenFull(CRegistryKey& key, const char* path)
{
    return key.Open(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS) == ERROR_SUCCESS;
}

// Opens parent with full access and creates (or opens) its child with full access.
bool CreateBelow(const char* parent, const char* child)
{
    CRegistryKey key;
    return OpenFull(key, parent) && key.CreateSubkey(child, 0, nullptr, KEY_ALL_ACCESS, nullptr) == ERROR_SUCCESS;
}

// Position-wise, no repetition: bytes past the machine text stay as they are.
void MaskPassword(std::string& bytes, const std::string& machineText, bool add)
{
    const size_t n = std::min(bytes.size(), machineText.size());
    for (size_t i = 0; i < n; ++i) {
        const auto p = static_cast<unsigned char>(bytes[i]);
        const auto t = static_cast<unsigned char>(machineText[i]);
        bytes[i] = static_cast<char>(static_cast<unsigned char>(add ? p + t : p - t));
    }
}

// An ID with a NUL inside or over 512 bytes cannot be a value name; a record without 32
// key bytes has nothing to store.
bool Storable(const CKeyRecord& record)
{
    const std::string& id = record.GetId();
    return !id.empty() && id.size() <= kMaxRegistryNameLength && id.find('\0') == std::string::npos && record.HasKey();
}

// Names come in folded order, which for IDs is byte order: with the hint each insertion
// is constant time; a name out of order is still placed right, and an equal name reaches
// the existing record, which is then overwritten.
void AddRecord(std::map<std::string, CKeyRecord>& list, const std::string& name,
               const unsigned char (&bytes)[CKeyRecord::kKeyLength], const std::string& machineText)
{
    const size_t before = list.size();
    auto inserted = list.try_emplace(list.end(), name);
    CKeyRecord& record = inserted->second;
    if (list.size() == before) {
        record = CKeyRecord();
    }
    record.SetKey(bytes);
    record.SetId(name);
    record.SetMachineText(machineText);
    record.OpenFromStorage();
}

} // namespace

int CKeyStore::LayoutExists()
{
    return Guarded(0, [] {
        for (const char* path : {kProductPath, kConfigPath, kKeyListPath}) {
            CRegistryKey key;
            if (!OpenFull(key, path)) {
                return 0;
            }
        }
        return 1;
    });
}

int CKeyStore::CreateLayout()
{
    return Guarded(0, [this] {
        if (!CreateBelow("SOFTWARE", "Quillon") || !CreateBelow(kCompanyPath, "CorvaneKeyServer") ||
            !CreateBelow(kProductPath, "Config") || !CreateBelow(kProductPath, "KeyList")) {
            return 0;
        }
        return WritePort(kDefaultPort);
    });
}

int CKeyStore::StoreKey(const CKeyRecord& record)
{
    return Guarded(0, [this, &record] { return StoreKeys({record}).front(); });
}

std::vector<int> CKeyStore::StoreKeys(const std::vector<CKeyRecord>& records)
{
    std::vector<int> results(records.size(), 0);
    Guarded(0, [&records, &results] {
        // Names and sealed keys of the storable records, in one buffer each; the values
        // refer into them once both are complete.
        std::string names;
        std::string keys;
        std::vector<size_t> storable;
        CKeyRecord working;
        working.SetMachineText(GetMachineText());
        for (size_t i = 0; i < records.size(); ++i) {
            if (!Storable(records[i])) {
                continue;
            }
            working.SetKey(records[i].GetKey().Data());
            working.SetId(records[i].GetId());
            working.SealForStorage();
            names += working.GetId();
            keys.append(reinterpret_cast<const char*>(working.GetKey().Data()), CKeyRecord::kKeyLength);
            storable.push_back(i);
        }
        CRegistryKey key;
        if (storable.empty() || !OpenFull(key, kKeyListPath)) {
            return 0;
        }
        std::vector<RegistryValue> values;
        values.reserve(storable.size());
        size_t nameOffset = 0;
        for (size_t n = 0; n < storable.size(); ++n) {
            const size_t length = records[storable[n]].GetId().size();
            values.push_back(RegistryValue{std::string_view(names).substr(nameOffset, length), REG_BINARY,
                                           keys.data() + n * CKeyRecord::kKeyLength,
                                           static_cast<uint32_t>(CKeyRecord::kKeyLength)});
            nameOffset += length;
        }
        if (key.SetValues(values) != ERROR_SUCCESS) {
            return 0;
        }
        for (const size_t i : storable) {
            results[i] = 1;
        }
        return 1;
    });
    return results;
}

int CKeyStore::DeleteKey(std::string_view id)
{
    return Guarded(0, [id] {
        CRegistryKey key;
        return OpenFull(key, kKeyListPath) && key.DeleteValue(id) == ERROR_SUCCESS ? 1 : 0;
    });
}

std::map<std::string, CKeyRecord> CKeyStore::LoadKeyList()
{
    std::map<std::string, CKeyRecord> list;
    ReadKeyList(list);
    return list;
}

int CKeyStore::ReadKeyList(std::map<std::string, CKeyRecord>& out)
{
    return Guarded(0, [&out] {
        std::map<std::string, CKeyRecord> list;
        CRegistryKey key;
        const int32_t opened = key.Open(HKEY_LOCAL_MACHINE, kKeyListPath, KEY_ALL_ACCESS);
        if (opened != ERROR_SUCCESS && opened != ERROR_FILE_NOT_FOUND) {
            return 0;
        }
        const std::string machineText = GetMachineText();
        // Names and data come from one snapshot of the key. A value that does not fit in
        // 32 bytes is skipped, and so is a value without a name (no ID is empty): ending
        // the list there, as an empty name from a name-only enumeration would, would hide
        // every key after it.
        for (int32_t index = 0; opened == ERROR_SUCCESS; ++index) {
            unsigned char bytes[CKeyRecord::kKeyLength] = {};
            uint32_t length = sizeof bytes;
            const int32_t code = key.EnumValue(index, bytes, &length, nullptr);
            if (code == ERROR_MORE_DATA) {
                continue;
            }
            if (code == ERROR_NO_MORE_ITEMS) {
                break;
            }
            if (code != ERROR_SUCCESS) {
                return 0;
            }
            const std::string name = key.GetValueName();
            if (!name.empty()) {
                AddRecord(list, name, bytes, machineText);
            }
        }
        out = std::move(list);
        return 1;
    });
}

uint16_t CKeyStore::ReadPort()
{
    return Guarded(uint16_t{0}, [] {
        CRegistryKey key;
        if (!OpenFull(key, kConfigPath)) {
            return uint16_t{0};
        }
        unsigned char bytes[4] = {};
        uint32_t length = sizeof bytes;
        if (key.QueryValue(kPortValue, bytes, &length, nullptr) != ERROR_SUCCESS) {
            return uint16_t{0};
        }
        // Little-endian 32-bit number; the port is its low 16 bits.
        return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    });
}

int CKeyStore::WritePort(int port)
{
    return Guarded(0, [port] {
        CRegistryKey key;
        if (!OpenFull(key, kConfigPath)) {
            return 0;
        }
        const auto value = static_cast<uint32_t>(port) & 0xFFFFu;
        const unsigned char bytes[4] = {static_cast<unsigned char>(value & 0xFF),
                                        static_cast<unsigned char>((value >> 8) & 0xFF), 0, 0};
        return key.SetValue(kPortValue, bytes, sizeof bytes, REG_DWORD) == ERROR_SUCCESS ? 1 : 0;
    });
}

std::string CKeyStore::GetPortText()
{
    return Guarded(std::string("0"), [this] { return std::to_string(ReadPort()); });
}

int CKeyStore::SetPortFromText(std::string_view text)
{
    return Guarded(0, [this, text] {
        std::istringstream in{std::string(text)};
        int port = 0;
        if (!(in >> port) || in.peek() != std::istringstream::traits_type::eof()) {
            return 0;
        }
        return WritePort(port);
    });
}

std::string CKeyStore::ReadPassword()
{
    return Guarded(std::string(), [] {
        CRegistryKey key;
        if (!OpenFull(key, kConfigPath)) {
            return std::string();
        }
        char bytes[kMaxPasswordLength] = {};
        uint32_t length = sizeof bytes;
        if (key.QueryValue(kPasswordValue, bytes, &length, nullptr) != ERROR_SUCCESS) {
            return std::string();
        }
        std::string password(bytes, length);
        MaskPassword(password, GetMachineText(), false);
        return password;
    });
}

int CKeyStore::WritePassword(std::string_view text)
{
    return Guarded(0, [text] {
        // A longer text would be stored but read back as empty: refuse it instead.
        if (text.size() > kMaxPasswordLength) {
            return 0;
        }
        CRegistryKey key;
        if (!OpenFull(key, kConfigPath)) {
            return 0;
        }
        std::string bytes(text);
        MaskPassword(bytes, GetMachineText(), true);
        return key.SetValue(kPasswordValue, bytes.data(), static_cast<uint32_t>(bytes.size()), REG_BINARY) ==
                       ERROR_SUCCESS
                   ? 1
                   : 0;
    });
}

CRegistryKey CKeyStore::OpenConfigKey()
{
    CRegistryKey key;
    OpenFull(key, kConfigPath);
    return key;
}

CRegistryKey CKeyStore::OpenKeyListKey()
{
    CRegistryKey key;
    OpenFull(key, kKeyListPath);
    return key;
}

int CKeyStore::RemoveLayout()
{
    return Guarded(0, [] {
        CRegistryKey company;
        if (!OpenFull(company, kCompanyPath)) {
            return 0;
        }
        for (const char* child : {"CorvaneKeyServer\\Config", "CorvaneKeyServer\\KeyList", "CorvaneKeyServer"}) {
            if (company.DeleteSubkey(child) != ERROR_SUCCESS) {
                return 0;
            }
        }
        return 1;
    });
}

uint64_t CKeyStore::ChangeCount()
{
    return Guarded(uint64_t{0}, [] { return SettingsStore().ChangeCount(); });
}

uint64_t CKeyStore::KeyListVersion()
{
    return Guarded(uint64_t{0}, [] { return SettingsStore().SubtreeVersion(kKeyListPath, kProductPath); });
}

int CKeyStore::CanWrite()
{
    return Guarded(0, [] { return SettingsStore().CheckWriteAccess() == ERROR_SUCCESS ? 1 : 0; });
}
