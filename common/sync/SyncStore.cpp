#include "SyncStore.h"

#include "keys/CKeyRecord.h"
#include "settings/MachineText.h"

namespace SyncStore {

bool Open(CRegistryKey& key, const std::string& path, bool create)
{
    if (key.Open(kHKeyLocalMachine, path, kKeyAllAccess) == kErrorSuccess) {
        return true;
    }
    if (!create) {
        return false;
    }
    const size_t split = path.rfind('\\');
    CRegistryKey parent;
    return split != std::string::npos && Open(parent, path.substr(0, split), true) &&
           parent.CreateSubkeyAndOpen(path.substr(split + 1), 0, &key, kKeyAllAccess, nullptr) == kErrorSuccess;
}

std::optional<std::string> ReadBytes(CRegistryKey& key, std::string_view name)
{
    uint32_t length = 0;
    if (key.QueryValue(name, nullptr, &length, nullptr) != kErrorSuccess) {
        return std::nullopt;
    }
    std::string bytes(length, '\0');
    if (key.QueryValue(name, bytes.data(), &length, nullptr) != kErrorSuccess) {
        return std::nullopt;
    }
    bytes.resize(length);
    return bytes;
}

bool WriteBytes(CRegistryKey& key, std::string_view name, std::string_view bytes)
{
    return key.SetValue(name, bytes.data(), static_cast<uint32_t>(bytes.size()), kRegBinary) == kErrorSuccess;
}

void ForEachValue(CRegistryKey& key, const std::function<void(const std::string&, std::string_view)>& visit)
{
    for (int32_t index = 0;; ++index) {
        char bytes[2048];
        uint32_t length = sizeof bytes;
        const int32_t code = key.EnumValue(index, bytes, &length, nullptr);
        if (code == kErrorNoMoreItems) {
            return;
        }
        if (code == kErrorSuccess) {
            visit(key.GetValueName(), std::string_view(bytes, length));
        }
    }
}

std::string MaskSecret(std::string_view secret, bool seal)
{
    if (secret.size() != CKeyRecord::kKeyLength) {
        return {};
    }
    CKeyRecord record;
    record.SetMachineText(GetMachineText());
    record.SetKey(secret.data());
    if (seal) {
        record.SealForStorage();
    } else {
        record.OpenFromStorage();
    }
    return std::string(reinterpret_cast<const char*>(record.GetKey().Data()), CKeyRecord::kKeyLength);
}

} // namespace SyncStore
