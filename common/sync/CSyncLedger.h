#pragma once

#include "SyncEntry.h"
#include "settings/CKeyStore.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// This server's side of peer sync: for every identifier the version of its latest
// registration or deletion (deletions kept as tombstones for kTombstoneSeconds), found by
// comparing the key list with what the ledger last saw of it, whoever changed it. A peer's
// entry is taken when it is newer, ignored when older; one made while the servers could
// not talk, with another key, is a conflict: kept aside, never served, until an
// administrator settles it. Held by one thread at a time.
class CSyncLedger
{
public:
    static constexpr int64_t kTombstoneSeconds = 90LL * 24 * 3600;

    struct SConflict
    {
        std::string peer;
        Sync::SEntry theirs; // with its key in the clear
    };
    // What applying a peer's entries did.
    struct SApplied
    {
        size_t taken = 0;
        size_t conflicts = 0;          // entries in conflict, new or known
        std::vector<std::string> news; // IDs whose conflict is new
        bool failed = false;
    };

    explicit CSyncLedger(CKeyStore& store);

    // Reads this server's identity (made on first use), its change counter and the ledger.
    bool Load();
    using KeyList = std::unordered_map<std::string, CKeyRecord>;
    // Stamps every change of the key list since the last look as this server's own;
    // the count of them, or nullopt when the store could not be read or written. The
    // list given is the store's as loaded last (the service's cache of it).
    std::optional<size_t> Scan(int64_t now);
    std::optional<size_t> Scan(const KeyList& list, int64_t now);
    SApplied Apply(const std::vector<Sync::SEntry>& entries, const std::string& peer, int64_t now);
    // Settles the conflicts an administrator asked for (see RequestResolution); the count.
    size_t ApplyResolutions(int64_t now);
    // Forgets tombstones older than kTombstoneSeconds.
    void ExpireTombstones(int64_t now);

    const std::map<std::string, Sync::SEntry>& Entries() const { return m_entries; }
    Sync::Buckets BucketDigests() const { return Sync::BucketDigests(m_digests); }
    // Moves whenever an entry changes (or the ledger is read afresh).
    uint64_t Changes() const { return m_changes; }
    std::map<std::string, SConflict> Conflicts() const;
    const std::string& ServerId() const { return m_serverId; }

    // From any process: asks the service to settle the conflict of id with the local key
    // (keepLocal) or the peer's. 0 when there is no such conflict or the store failed.
    static int RequestResolution(const std::string& id, bool keepLocal);
    static std::map<std::string, SConflict> ReadConflicts();

private:
    Sync::VersionVector NextVersion(const Sync::VersionVector& from);
    bool SaveCounter();
    bool WriteLedger(const std::vector<Sync::SEntry>& entries);
    bool WriteKeys(const std::vector<Sync::SEntry>& entries);
    bool RecordConflict(const std::string& peer, const Sync::SEntry& theirs);
    void ForgetConflict(const std::string& id);

    CKeyStore& m_store;
    std::string m_serverId;
    uint64_t m_counter = 0;
    std::map<std::string, Sync::SEntry> m_entries;
    std::map<std::string, Sync::Digest> m_keyDigests;
    std::map<std::string, Sync::Digest> m_digests; // of each entry
    std::map<std::string, SConflict> m_conflicts;
    uint64_t m_changes = 0;
};
