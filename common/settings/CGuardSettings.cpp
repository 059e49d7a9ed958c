#include "CGuardSettings.h"

#include "CKeyStore.h"
#include "CRegistryKey.h"
#include "RegistryTypes.h"

#include <vector>

namespace {

bool ReadNumber(CRegistryKey& config, const char* name, uint32_t& number)
{
    unsigned char bytes[4] = {};
    uint32_t length = sizeof bytes;
    uint32_t type = 0;
    const int32_t code = config.QueryValue(name, bytes, &length, &type);
    if (code == kErrorFileNotFound) {
        return true;
    }
    if (code != kErrorSuccess || type != kRegDword || length != sizeof bytes) {
        return false;
    }
    number = static_cast<uint32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16)) | (uint32_t{bytes[3]} << 24);
    return true;
}

bool ReadText(CRegistryKey& config, const char* name, std::string& text)
{
    uint32_t length = 0;
    int32_t code = config.QueryValue(name, nullptr, &length, nullptr);
    if (code == kErrorFileNotFound) {
        return true;
    }
    std::string bytes(length, '\0');
    code = config.QueryValue(name, bytes.data(), &length, nullptr);
    if (code != kErrorSuccess) {
        return false;
    }
    bytes.resize(length);
    text = std::move(bytes);
    return true;
}

void Encode(uint32_t number, unsigned char (&bytes)[4])
{
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<unsigned char>(number >> (8 * i));
    }
}

} // namespace

int CGuardSettings::Read(SGuardSettings& settings)
{
    try {
        CRegistryKey config;
        if (config.Open(kHKeyLocalMachine, CKeyStore::kConfigPath, kKeyRead) != kErrorSuccess) {
            return 0;
        }
        SGuardSettings read;
        uint32_t check = static_cast<uint32_t>(read.releaseCheck);
        if (!ReadNumber(config, kRateValue, read.throttleRate) ||
            !ReadNumber(config, kBurstValue, read.throttleBurst) || !ReadNumber(config, kCheckValue, check) ||
            !ReadText(config, kExemptValue, read.exemptSubnets) ||
            !ReadNumber(config, kPushLimitValue, read.pushLimit)) {
            return 0;
        }
        // A value out of range (written by something else) counts as its default.
        read.throttleRate =
            read.throttleRate <= SGuardSettings::kMaxRate ? read.throttleRate : SGuardSettings::kDefaultRate;
        read.throttleBurst = read.throttleBurst >= 1 && read.throttleBurst <= SGuardSettings::kMaxBurst
                                 ? read.throttleBurst
                                 : SGuardSettings::kDefaultBurst;
        read.releaseCheck =
            check <= 2 ? static_cast<SGuardSettings::ReleaseCheck>(check) : SGuardSettings::ReleaseCheck::Off;
        settings = std::move(read);
        return 1;
    } catch (...) {
        return 0;
    }
}

int CGuardSettings::Write(const SGuardSettings& settings)
{
    if (settings.throttleRate > SGuardSettings::kMaxRate || settings.throttleBurst < 1 ||
        settings.throttleBurst > SGuardSettings::kMaxBurst || static_cast<uint32_t>(settings.releaseCheck) > 2) {
        return 0;
    }
    try {
        CRegistryKey config;
        if (config.Open(kHKeyLocalMachine, CKeyStore::kConfigPath, kKeyAllAccess) != kErrorSuccess) {
            return 0;
        }
        unsigned char rate[4];
        unsigned char burst[4];
        unsigned char check[4];
        unsigned char pushLimit[4];
        Encode(settings.pushLimit, pushLimit);
        Encode(settings.throttleRate, rate);
        Encode(settings.throttleBurst, burst);
        Encode(static_cast<uint32_t>(settings.releaseCheck), check);
        const RegistryValue values[] = {
            {kRateValue, kRegDword, rate, sizeof rate},
            {kBurstValue, kRegDword, burst, sizeof burst},
            {kCheckValue, kRegDword, check, sizeof check},
            {kExemptValue, kRegSz, settings.exemptSubnets.data(), static_cast<uint32_t>(settings.exemptSubnets.size())},
            {kPushLimitValue, kRegDword, pushLimit, sizeof pushLimit},
        };
        return config.SetValues(values) == kErrorSuccess ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

const char* CGuardSettings::CheckText(SGuardSettings::ReleaseCheck check)
{
    switch (check) {
    case SGuardSettings::ReleaseCheck::LogOnly:
        return "log";
    case SGuardSettings::ReleaseCheck::Enforce:
        return "enforce";
    case SGuardSettings::ReleaseCheck::Off:
        break;
    }
    return "off";
}
