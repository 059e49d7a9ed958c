#include "CPeerStore.h"

#include "SyncStore.h"
#include "keys/ByteFields.h"
#include "settings/KeyStoreParts.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr const char* kHostValue = "Host";
constexpr const char* kSecretValue = "Secret";
constexpr const char* kStatusValue = "SyncStatus";

std::string PathOf(std::string_view name)
{
    return SyncStore::kPeersPath + "\\" + std::string(name);
}

std::string EncodeStatus(const CPeerStore::SStatus& status)
{
    std::string out;
    ByteFields::PutText(out, status.state.substr(0, 0xFFFF), 2);
    ByteFields::Put(out, static_cast<uint64_t>(status.lastSync), 8);
    ByteFields::Put(out, status.waiting, 4);
    ByteFields::Put(out, status.conflicts, 4);
    return out;
}

CPeerStore::SStatus DecodeStatus(std::string_view bytes)
{
    ByteFields::CReader in(bytes);
    CPeerStore::SStatus status;
    uint64_t lastSync = 0;
    uint64_t waiting = 0;
    uint64_t conflicts = 0;
    if (!in.Text(2, status.state) || !in.Number(8, lastSync) || !in.Number(4, waiting) || !in.Number(4, conflicts)) {
        return {"not synced yet", 0, 0, 0};
    }
    status.lastSync = static_cast<int64_t>(lastSync);
    status.waiting = static_cast<uint32_t>(waiting);
    status.conflicts = static_cast<uint32_t>(conflicts);
    return status;
}

// Host and port as one value: the port in two bytes, then the host.
std::optional<CPeerStore::SPeer> ReadPeer(const std::string& name)
{
    CRegistryKey key;
    if (!SyncStore::Open(key, PathOf(name), false)) {
        return std::nullopt;
    }
    const std::optional<std::string> where = SyncStore::ReadBytes(key, kHostValue);
    const std::optional<std::string> secret = SyncStore::ReadBytes(key, kSecretValue);
    if (!where || where->size() < 3 || !secret || secret->size() != 32) {
        return std::nullopt;
    }
    CPeerStore::SPeer peer;
    peer.name = name;
    peer.port = static_cast<uint16_t>((static_cast<uint8_t>((*where)[0]) << 8) | static_cast<uint8_t>((*where)[1]));
    peer.host = where->substr(2);
    peer.secret = SyncStore::MaskSecret(*secret, false);
    const std::optional<std::string> status = SyncStore::ReadBytes(key, kStatusValue);
    peer.status = status ? DecodeStatus(*status) : CPeerStore::SStatus{"not synced yet", 0, 0, 0};
    return peer;
}

} // namespace

bool CPeerStore::ValidName(std::string_view name)
{
    return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == '_';
    });
}

CPeerStore::Result CPeerStore::Add(const SPeer& peer)
{
    if (!ValidName(peer.name) || peer.host.empty() || peer.port == 0 || peer.secret.size() != 32) {
        return Result::Failed;
    }
    CRegistryKey existing;
    if (SyncStore::Open(existing, PathOf(peer.name), false)) {
        return Result::Exists;
    }
    std::string where;
    ByteFields::Put(where, peer.port, 2);
    where += peer.host;
    const std::string secret = SyncStore::MaskSecret(peer.secret, true);
    CRegistryKey key;
    const RegistryValue values[] = {
        {kHostValue, kRegBinary, where.data(), static_cast<uint32_t>(where.size())},
        {kSecretValue, kRegBinary, secret.data(), static_cast<uint32_t>(secret.size())},
    };
    if (!SyncStore::Open(key, PathOf(peer.name), true) || key.SetValues(values) != kErrorSuccess) {
        KeyStoreParts::DeleteTree(PathOf(peer.name));
        return Result::Failed;
    }
    return Result::Done;
}

CPeerStore::Result CPeerStore::Remove(std::string_view name)
{
    CRegistryKey existing;
    if (!ValidName(name) || !SyncStore::Open(existing, PathOf(name), false)) {
        return Result::Missing;
    }
    existing.Close();
    return KeyStoreParts::DeleteTree(PathOf(name)) ? Result::Done : Result::Failed;
}

std::optional<std::vector<CPeerStore::SPeer>> CPeerStore::List()
{
    std::vector<SPeer> peers;
    CRegistryKey key;
    const int32_t opened = key.Open(kHKeyLocalMachine, SyncStore::kPeersPath, kKeyAllAccess);
    if (opened == kErrorFileNotFound) {
        return peers;
    }
    if (opened != kErrorSuccess) {
        return std::nullopt;
    }
    for (int32_t index = 0;; ++index) {
        const std::string name = key.SubkeyNameAt(index);
        if (name.empty()) {
            break;
        }
        if (std::optional<SPeer> peer = ReadPeer(name)) {
            peers.push_back(std::move(*peer));
        }
    }
    return peers;
}

bool CPeerStore::WriteStatus(std::string_view name, const SStatus& status)
{
    CRegistryKey key;
    return SyncStore::Open(key, PathOf(name), false) && SyncStore::WriteBytes(key, kStatusValue, EncodeStatus(status));
}
