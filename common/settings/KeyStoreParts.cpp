#include "KeyStoreParts.h"

#include "MachineText.h"
#include "MachineVerifier.h"

#include <algorithm>
#include <vector>

namespace KeyStoreParts {

bool OpenFull(CRegistryKey& key, const char* path)
{
    return key.Open(kHKeyLocalMachine, path, kKeyAllAccess) == kErrorSuccess;
}

bool DeleteTree(const std::string& path)
{
    CRegistryKey key;
    const int32_t opened = key.Open(kHKeyLocalMachine, path, kKeyAllAccess);
    if (opened == kErrorFileNotFound) {
        return true;
    }
    if (opened != kErrorSuccess) {
        return false;
    }
    std::vector<std::string> children;
    for (int32_t index = 0;; ++index) {
        std::string child = key.SubkeyNameAt(index);
        if (child.empty()) {
            break;
        }
        children.push_back(std::move(child));
    }
    key.Close();
    for (const std::string& child : children) {
        if (!DeleteTree(path + "\\" + child)) {
            return false;
        }
    }
    const size_t split = path.rfind('\\');
    CRegistryKey parent;
    return split != std::string::npos && OpenFull(parent, path.substr(0, split).c_str()) &&
           parent.DeleteSubkey(path.substr(split + 1)) == kErrorSuccess;
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
