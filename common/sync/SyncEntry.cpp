#include "SyncEntry.h"

#include "keys/ByteFields.h"
#include "keys/CKeyRecord.h"
#include "settings/RegistryTypes.h"

#include <algorithm>
#include <sodium.h>
#include <vector>

namespace Sync {

namespace {

bool StorableId(const std::string& id)
{
    return !id.empty() && id.size() <= kMaxRegistryNameLength && id.find('\0') == std::string::npos;
}

} // namespace

Order Compare(const VersionVector& first, const VersionVector& second)
{
    bool firstAhead = false;
    bool secondAhead = false;
    for (const auto& [server, count] : first) {
        const auto other = second.find(server);
        const uint64_t theirs = other == second.end() ? 0 : other->second;
        firstAhead = firstAhead || count > theirs;
        secondAhead = secondAhead || count < theirs;
    }
    for (const auto& [server, count] : second) {
        secondAhead = secondAhead || (count > 0 && first.find(server) == first.end());
    }
    if (firstAhead && secondAhead) {
        return Order::Concurrent;
    }
    return firstAhead ? Order::Newer : secondAhead ? Order::Older : Order::Same;
}

VersionVector Merge(const VersionVector& first, const VersionVector& second)
{
    VersionVector merged = first;
    for (const auto& [server, count] : second) {
        uint64_t& mine = merged[server];
        mine = std::max(mine, count);
    }
    return merged;
}

Digest EntryDigest(const SEntry& entry)
{
    std::string bytes;
    EncodeEntry(bytes, entry, false);
    Digest digest{};
    crypto_generichash(digest.data(), digest.size(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                       nullptr, 0);
    return digest;
}

size_t BucketOf(std::string_view id)
{
    unsigned char hash[kDigestLength];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(id.data()), id.size(), nullptr, 0);
    return hash[0];
}

Buckets BucketDigests(const std::map<std::string, Digest>& digests)
{
    std::vector<crypto_generichash_state> states(kBuckets);
    for (auto& state : states) {
        crypto_generichash_init(&state, nullptr, 0, kDigestLength);
    }
    for (const auto& [id, digest] : digests) {
        crypto_generichash_state& state = states[BucketOf(id)];
        // The ID with its terminating NUL: no ID runs into the digest after it.
        crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(id.c_str()), id.size() + 1);
        crypto_generichash_update(&state, digest.data(), digest.size());
    }
    Buckets buckets{};
    for (size_t i = 0; i < kBuckets; ++i) {
        crypto_generichash_final(&states[i], buckets[i].data(), buckets[i].size());
    }
    return buckets;
}

Buckets BucketDigests(const std::map<std::string, SEntry>& entries)
{
    std::map<std::string, Digest> digests;
    for (const auto& [id, entry] : entries) {
        digests.emplace_hint(digests.end(), id, EntryDigest(entry));
    }
    return BucketDigests(digests);
}

void EncodeVersion(std::string& out, const VersionVector& version)
{
    ByteFields::Put(out, version.size(), 1);
    for (const auto& [server, count] : version) {
        out += server;
        ByteFields::Put(out, count, 8);
    }
}

std::optional<VersionVector> DecodeVersion(ByteFields::CReader& in)
{
    uint64_t servers = 0;
    if (!in.Number(1, servers) || servers > kMaxVersionServers) {
        return std::nullopt;
    }
    VersionVector version;
    for (uint64_t i = 0; i < servers; ++i) {
        std::string_view server;
        uint64_t count = 0;
        if (!in.Take(kServerIdLength, server) || !in.Number(8, count) ||
            !version.emplace(std::string(server), count).second) {
            return std::nullopt;
        }
    }
    return version;
}

void EncodeEntry(std::string& out, const SEntry& entry, bool withKey)
{
    ByteFields::PutText(out, entry.id, 2);
    EncodeVersion(out, entry.version);
    ByteFields::Put(out, entry.deleted ? 1 : 0, 1);
    ByteFields::Put(out, static_cast<uint64_t>(entry.changedAt), 8);
    if (withKey && !entry.deleted) {
        out += entry.key;
    }
}

std::optional<SEntry> DecodeEntry(ByteFields::CReader& in, bool withKey)
{
    SEntry entry;
    if (!in.Text(2, entry.id) || !StorableId(entry.id)) {
        return std::nullopt;
    }
    std::optional<VersionVector> version = DecodeVersion(in);
    uint64_t deleted = 0;
    uint64_t changedAt = 0;
    if (!version || !in.Number(1, deleted) || deleted > 1 || !in.Number(8, changedAt)) {
        return std::nullopt;
    }
    entry.version = std::move(*version);
    entry.deleted = deleted == 1;
    entry.changedAt = static_cast<int64_t>(changedAt);
    std::string_view key;
    if (withKey && !entry.deleted) {
        if (!in.Take(CKeyRecord::kKeyLength, key)) {
            return std::nullopt;
        }
        entry.key = key;
    }
    return entry;
}

} // namespace Sync
