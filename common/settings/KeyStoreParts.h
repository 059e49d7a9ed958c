#pragma once

#include "CKeyStore.h"
#include "CRegistryKey.h"

#include <string>

// What the key store's operations share: their failure style and the access to the
// "Config" key's values.
namespace KeyStoreParts {

inline constexpr const char* kPortValue = "PortNo";
inline constexpr const char* kPasswordValue = "BinData";

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

bool OpenFull(CRegistryKey& key, const char* path);
// Deletes the key at path and everything below it; true also when it was not there.
bool DeleteTree(const std::string& path);
// Adds (add) or takes off the machine text, position-wise, without repetition: bytes past
// the machine text stay as they are.
void MaskPassword(std::string& bytes, const std::string& machineText, bool add);
// The identity of an open "Config" key's verifier.
CKeyStore::Identity IdentityOf(CRegistryKey& config);

} // namespace KeyStoreParts
