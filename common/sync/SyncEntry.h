#pragma once

#include "keys/ByteFields.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// What key servers that sync tell each other of one identifier: its latest registration or
// deletion, with the version that orders it against the other servers' changes.
namespace Sync {

inline constexpr size_t kServerIdLength = 16;
inline constexpr size_t kDigestLength = 16;
// More servers than this in one version is no pairing of key servers but damage.
inline constexpr size_t kMaxVersionServers = 32;

using Digest = std::array<uint8_t, kDigestLength>;

// Per server (its 16-byte identity), the count of its changes this version has seen.
using VersionVector = std::map<std::string, uint64_t>;

enum class Order
{
    Same,
    Newer,      // the first has seen everything the second has, and more
    Older,      // the second has
    Concurrent, // each has seen a change the other has not
};

Order Compare(const VersionVector& first, const VersionVector& second);
// Each server's larger count.
VersionVector Merge(const VersionVector& first, const VersionVector& second);

struct SEntry
{
    std::string id;
    VersionVector version;
    bool deleted = false;
    int64_t changedAt = 0; // seconds since 1970-01-01 UTC; a tombstone expires from it
    std::string key;       // the 32 key bytes in the clear; empty for a deletion

    // The same registration (or both deleted), whatever their versions.
    bool SameValue(const SEntry& other) const { return deleted == other.deleted && key == other.key; }
};

// Everything but the key: two servers hold the same entry when their digests agree.
Digest EntryDigest(const SEntry& entry);

// Entries fall into 256 buckets by their ID; two servers compare a digest of each.
inline constexpr size_t kBuckets = 256;
using Buckets = std::array<Digest, kBuckets>;
size_t BucketOf(std::string_view id);
// From each entry's digest, ordered by ID.
Buckets BucketDigests(const std::map<std::string, Digest>& digests);
Buckets BucketDigests(const std::map<std::string, SEntry>& entries);

void EncodeVersion(std::string& out, const VersionVector& version);
std::optional<VersionVector> DecodeVersion(ByteFields::CReader& in);

// withKey false leaves the key out (the ledger keeps none; a deletion has none).
void EncodeEntry(std::string& out, const SEntry& entry, bool withKey);
// Reads one entry; nullopt for bytes that are none (an ID the store could not hold, a
// key cut short, a version of too many servers).
std::optional<SEntry> DecodeEntry(ByteFields::CReader& in, bool withKey);

} // namespace Sync
