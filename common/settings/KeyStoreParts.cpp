#include "KeyStoreParts.h"

#include "MachineText.h"
#include "MachineVerifier.h"

#include <algorithm>

namespace KeyStoreParts {

bool OpenFull(CRegistryKey& key, const char* path)
{
    return key.Open(kHKeyLocalMachine, path, kKeyAllAccess) == kErrorSuccess;
}

void MaskPassword(std::string& bytes, const std::string& machineText, bool add)
{
    const size_t n = std::min(bytes.size(), machineText.size());
    for (size_t i = 0; i < n; ++i) {
        const auto p = static_cast<unsigned char>(bytes[i]);
        const auto t = static_cast<unsigned char>(machineText[i]);
        bytes[i] = static_cast<char>(static_cast<unsigned char>(add ? p + t : p - t));
    }
}

CKeyStore::Identity IdentityOf(CRegistryKey& config)
{
    char verifier[64] = {};
    uint32_t length = sizeof verifier;
    const int32_t code = config.QueryValue(CKeyStore::kVerifierValue, verifier, &length, nullptr);
    if (code == kErrorFileNotFound) {
        return CKeyStore::Identity::Unverified;
    }
    if (code == kErrorMoreData) {
        return CKeyStore::Identity::Foreign; // no verifier this version makes
    }
    if (code != kErrorSuccess) {
        return CKeyStore::Identity::Unknown;
    }
    return MachineVerifier::Matches(std::string_view(verifier, length), GetMachineText())
               ? CKeyStore::Identity::Matches
               : CKeyStore::Identity::Foreign;
}

} // namespace KeyStoreParts
