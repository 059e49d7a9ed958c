#include "StoreTestSupport.h"

#include "settings/CRegistryKey.h"

std::string KeyBytes(int tag, int index)
{
    std::string key(CKeyRecord::kKeyLength, '\0');
    for (size_t i = 0; i < key.size(); ++i) {
        key[i] = static_cast<char>((tag * 131 + index * 7 + static_cast<int>(i) * 29) & 0xFF);
    }
    return key;
}

CKeyRecord MakeRecord(const std::string& id, const std::string& key)
{
    CKeyRecord record;
    record.SetId(id);
    record.SetKey(key.data());
    return record;
}

bool ReadRaw(const std::string& path, const std::string& name, std::string& data, uint32_t* type)
{
    CRegistryKey key;
    if (key.Open(kHKeyLocalMachine, path, kKeyRead) != 0) {
        return false;
    }
    uint32_t length = 0;
    if (key.QueryValue(name, nullptr, &length, nullptr) != 0) {
        return false;
    }
    data.assign(length, '\0');
    return key.QueryValue(name, data.data(), &length, type) == 0 && length == data.size();
}

bool WriteRaw(const std::string& path, const std::string& name, const std::string& data, uint32_t type)
{
    CRegistryKey key;
    return key.Open(kHKeyLocalMachine, path, kKeyAllAccess) == 0 &&
           key.SetValue(name, data.data(), static_cast<uint32_t>(data.size()), type) == 0;
}
