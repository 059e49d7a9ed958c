#include "CMetricsSettings.h"

#include "CKeyStore.h"
#include "CRegistryKey.h"
#include "RegistryTypes.h"

int CMetricsSettings::Read(std::string& directory)
{
    try {
        CRegistryKey config;
        if (config.Open(kHKeyLocalMachine, CKeyStore::kConfigPath, kKeyRead) != kErrorSuccess) {
            return 0;
        }
        uint32_t length = 0;
        int32_t code = config.QueryValue(kDirectoryValue, nullptr, &length, nullptr);
        if (code == kErrorFileNotFound) {
            directory.clear();
            return 1;
        }
        std::string bytes(length, '\0');
        code = config.QueryValue(kDirectoryValue, bytes.data(), &length, nullptr);
        if (code != kErrorSuccess) {
            return 0;
        }
        bytes.resize(length);
        // A value written by another tool may end in its terminator.
        while (!bytes.empty() && bytes.back() == '\0') {
            bytes.pop_back();
        }
        directory = std::move(bytes);
        return 1;
    } catch (...) {
        return 0;
    }
}

int CMetricsSettings::Write(const std::string& directory)
{
    try {
        CRegistryKey config;
        if (config.Open(kHKeyLocalMachine, CKeyStore::kConfigPath, kKeyAllAccess) != kErrorSuccess) {
            return 0;
        }
        if (directory.empty()) {
            const int32_t code = config.DeleteValue(kDirectoryValue);
            return code == kErrorSuccess || code == kErrorFileNotFound ? 1 : 0;
        }
        const RegistryValue values[] = {
            {kDirectoryValue, kRegSz, directory.data(), static_cast<uint32_t>(directory.size())},
        };
        return config.SetValues(values) == kErrorSuccess ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
