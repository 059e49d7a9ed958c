#include "CSyncLedger.h"

#include "SyncStore.h"
#include "keys/AsciiCase.h"
#include "keys/ByteFields.h"
#include "keys/CKeyRecord.h"

#include <algorithm>
#include <sodium.h>

using Sync::Compare;
using Sync::Digest;
using Sync::Order;
using Sync::SEntry;

namespace {

constexpr const char* kServerIdValue = "ServerId";
constexpr const char* kCounterValue = "Counter";
constexpr char kKeepLocal = 'L';
constexpr char kKeepPeer = 'P';

Digest KeyDigest(std::string_view key)
{
    Digest digest{};
    if (!key.empty()) {
        crypto_generichash(digest.data(), digest.size(), reinterpret_cast<const unsigned char*>(key.data()), key.size(),
                           nullptr, 0);
    }
    return digest;
}

std::string RawKey(const CKeyRecord& record)
{
    return std::string(reinterpret_cast<const char*>(record.GetKey().Data()), CKeyRecord::kKeyLength);
}

std::string EncodeConflict(const CSyncLedger::SConflict& conflict)
{
    std::string out;
    ByteFields::PutText(out, conflict.peer, 1);
    Sync::SEntry sealed = conflict.theirs;
    if (!sealed.deleted) {
        sealed.key = SyncStore::MaskSecret(sealed.key, true);
    }
    Sync::EncodeEntry(out, sealed, true);
    return out;
}

std::optional<CSyncLedger::SConflict> DecodeConflict(std::string_view bytes)
{
    ByteFields::CReader in(bytes);
    CSyncLedger::SConflict conflict;
    if (!in.Text(1, conflict.peer)) {
        return std::nullopt;
    }
    std::optional<SEntry> theirs = Sync::DecodeEntry(in, true);
    if (!theirs || !in.AtEnd()) {
        return std::nullopt;
    }
    if (!theirs->deleted) {
        theirs->key = SyncStore::MaskSecret(theirs->key, false);
    }
    conflict.theirs = std::move(*theirs);
    return conflict;
}

bool Expired(const SEntry& entry, int64_t now)
{
    return entry.deleted && now - entry.changedAt > CSyncLedger::kTombstoneSeconds;
}

} // namespace

CSyncLedger::CSyncLedger(CKeyStore& store) : m_store(store) {}

bool CSyncLedger::Load()
{
    if (sodium_init() < 0) {
        return false;
    }
    CRegistryKey sync;
    if (!SyncStore::Open(sync, SyncStore::kSyncPath, true)) {
        return false;
    }
    std::optional<std::string> id = SyncStore::ReadBytes(sync, kServerIdValue);
    if (!id || id->size() != Sync::kServerIdLength) {
        id = std::string(Sync::kServerIdLength, '\0');
        randombytes_buf(id->data(), id->size());
        if (!SyncStore::WriteBytes(sync, kServerIdValue, *id)) {
            return false;
        }
    }
    m_serverId = *id;
    const std::optional<std::string> counter = SyncStore::ReadBytes(sync, kCounterValue);
    uint64_t count = 0;
    if (counter) {
        ByteFields::CReader in(*counter);
        in.Number(8, count);
    }
    m_counter = count;

    m_entries.clear();
    m_keyDigests.clear();
    m_digests.clear();
    CRegistryKey ledger;
    if (!SyncStore::Open(ledger, SyncStore::kLedgerPath, true)) {
        return false;
    }
    SyncStore::ForEachValue(ledger, [this](const std::string& name, std::string_view bytes) {
        if (bytes.size() < Sync::kDigestLength) {
            return;
        }
        ByteFields::CReader in(bytes.substr(Sync::kDigestLength));
        std::optional<SEntry> entry = Sync::DecodeEntry(in, false);
        if (!entry || entry->id != name) {
            return;
        }
        Digest digest{};
        std::copy(bytes.begin(), bytes.begin() + Sync::kDigestLength, digest.begin());
        m_keyDigests[entry->id] = digest;
        m_digests[entry->id] = Sync::EntryDigest(*entry);
        m_entries[entry->id] = std::move(*entry);
    });
    m_conflicts = ReadConflicts();
    ++m_changes;
    return true;
}

Sync::VersionVector CSyncLedger::NextVersion(const Sync::VersionVector& from)
{
    Sync::VersionVector version = from;
    version[m_serverId] = ++m_counter;
    return version;
}

bool CSyncLedger::SaveCounter()
{
    CRegistryKey sync;
    std::string bytes;
    ByteFields::Put(bytes, m_counter, 8);
    return SyncStore::Open(sync, SyncStore::kSyncPath, true) && SyncStore::WriteBytes(sync, kCounterValue, bytes);
}

std::optional<size_t> CSyncLedger::Scan(int64_t now)
{
    std::map<std::string, CKeyRecord> read;
    if (!m_store.ReadKeyList(read)) {
        return std::nullopt;
    }
    return Scan(KeyList(read.begin(), read.end()), now);
}

std::optional<size_t> CSyncLedger::Scan(const KeyList& list, int64_t now)
{
    std::vector<SEntry> changed;
    for (const auto& [id, record] : list) {
        const std::string key = RawKey(record);
        const auto known = m_entries.find(id);
        // The key seen last, or after a restart its digest.
        if (known != m_entries.end() && !known->second.deleted &&
            (known->second.key.empty() ? m_keyDigests[id] == KeyDigest(key) : known->second.key == key)) {
            known->second.key = key;
            continue;
        }
        const Sync::VersionVector from = known != m_entries.end() ? known->second.version : Sync::VersionVector();
        changed.push_back(SEntry{id, NextVersion(from), false, now, key});
    }
    for (const auto& [id, entry] : m_entries) {
        if (!entry.deleted && list.find(id) == list.end()) {
            changed.push_back(SEntry{id, NextVersion(entry.version), true, now, {}});
        }
    }
    if (changed.empty()) {
        return 0;
    }
    // The counter first: a number once handed out is never handed out again.
    if (!SaveCounter() || !WriteLedger(changed)) {
        return std::nullopt;
    }
    return changed.size();
}

CSyncLedger::SApplied CSyncLedger::Apply(const std::vector<SEntry>& entries, const std::string& peer, int64_t now)
{
    SApplied applied;
    std::vector<SEntry> taken;
    std::vector<SEntry> merged;
    for (const SEntry& theirs : entries) {
        // IDs are stored upper-cased; another spelling is no entry of a key server.
        if (UpperAscii(theirs.id) != theirs.id || theirs.version.empty()) {
            continue;
        }
        const auto known = m_entries.find(theirs.id);
        if (known == m_entries.end()) {
            if (!Expired(theirs, now)) {
                taken.push_back(theirs);
            }
            continue;
        }
        const SEntry& ours = known->second;
        const Order order = Compare(theirs.version, ours.version);
        if (order == Order::Newer) {
            taken.push_back(theirs);
        } else if (order == Order::Concurrent && theirs.SameValue(ours)) {
            SEntry both = ours;
            both.version = Sync::Merge(ours.version, theirs.version);
            both.changedAt = std::max(ours.changedAt, theirs.changedAt);
            merged.push_back(std::move(both));
        } else if (order == Order::Concurrent) {
            ++applied.conflicts;
            const auto recorded = m_conflicts.find(theirs.id);
            if (recorded == m_conflicts.end() || recorded->second.peer != peer ||
                recorded->second.theirs.version != theirs.version || !recorded->second.theirs.SameValue(theirs)) {
                if (RecordConflict(peer, theirs)) {
                    applied.news.push_back(theirs.id);
                }
            }
        }
    }
    if (!WriteKeys(taken)) {
        applied.failed = true;
        return applied;
    }
    applied.taken = taken.size();
    taken.insert(taken.end(), merged.begin(), merged.end());
    applied.failed = !WriteLedger(taken);
    return applied;
}

size_t CSyncLedger::ApplyResolutions(int64_t now)
{
    CRegistryKey requests;
    if (!SyncStore::Open(requests, SyncStore::kResolvePath, false)) {
        return 0;
    }
    std::vector<std::pair<std::string, bool>> asked;
    SyncStore::ForEachValue(requests, [&asked](const std::string& name, std::string_view choice) {
        if (choice.size() == 1) {
            asked.emplace_back(name, choice[0] == kKeepLocal);
        }
    });
    size_t settled = 0;
    for (const auto& [id, keepLocal] : asked) {
        requests.DeleteValue(id);
        const auto conflict = m_conflicts.find(id);
        const auto ours = m_entries.find(id);
        if (conflict == m_conflicts.end() || ours == m_entries.end()) {
            continue;
        }
        const SEntry& chosen = keepLocal ? ours->second : conflict->second.theirs;
        SEntry settledEntry{id, Sync::Merge(ours->second.version, conflict->second.theirs.version), chosen.deleted, now,
                            chosen.key};
        settledEntry.version = NextVersion(settledEntry.version);
        if (SaveCounter() && WriteKeys({settledEntry}) && WriteLedger({settledEntry})) {
            ++settled;
        }
    }
    return settled;
}

void CSyncLedger::ExpireTombstones(int64_t now)
{
    CRegistryKey ledger;
    if (!SyncStore::Open(ledger, SyncStore::kLedgerPath, false)) {
        return;
    }
    for (auto entry = m_entries.begin(); entry != m_entries.end();) {
        if (Expired(entry->second, now) && ledger.DeleteValue(entry->first) == kErrorSuccess) {
            m_keyDigests.erase(entry->first);
            m_digests.erase(entry->first);
            entry = m_entries.erase(entry);
            ++m_changes;
        } else {
            ++entry;
        }
    }
}

bool CSyncLedger::WriteKeys(const std::vector<SEntry>& entries)
{
    std::vector<CKeyRecord> records;
    for (const SEntry& entry : entries) {
        if (entry.deleted) {
            const auto known = m_entries.find(entry.id);
            // Only a key the ledger knows to be there must go; a failed delete stops here,
            // or the next look would take the key for a new registration.
            if (known != m_entries.end() && !known->second.deleted && !m_store.DeleteKey(entry.id)) {
                return false;
            }
            continue;
        }
        CKeyRecord record;
        record.SetId(entry.id);
        record.SetKey(entry.key.data());
        records.push_back(std::move(record));
    }
    if (records.empty()) {
        return true;
    }
    const std::vector<int> results = m_store.StoreKeys(records);
    return std::all_of(results.begin(), results.end(), [](int result) { return result == 1; });
}

bool CSyncLedger::WriteLedger(const std::vector<SEntry>& entries)
{
    if (entries.empty()) {
        return true;
    }
    std::vector<std::string> bytes;
    bytes.reserve(entries.size());
    for (const SEntry& entry : entries) {
        const Digest digest = KeyDigest(entry.key);
        std::string value(reinterpret_cast<const char*>(digest.data()), digest.size());
        Sync::EncodeEntry(value, entry, false);
        bytes.push_back(std::move(value));
    }
    std::vector<RegistryValue> values;
    values.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        values.push_back({entries[i].id, kRegBinary, bytes[i].data(), static_cast<uint32_t>(bytes[i].size())});
    }
    CRegistryKey ledger;
    if (!SyncStore::Open(ledger, SyncStore::kLedgerPath, true) || ledger.SetValues(values) != kErrorSuccess) {
        return false;
    }
    for (const SEntry& entry : entries) {
        m_keyDigests[entry.id] = KeyDigest(entry.key);
        m_digests[entry.id] = Sync::EntryDigest(entry);
        m_entries[entry.id] = entry;
        ++m_changes;
        const auto conflict = m_conflicts.find(entry.id);
        if (conflict != m_conflicts.end() &&
            Compare(entry.version, conflict->second.theirs.version) != Order::Concurrent) {
            ForgetConflict(entry.id);
        }
    }
    return true;
}

bool CSyncLedger::RecordConflict(const std::string& peer, const SEntry& theirs)
{
    const SConflict conflict{peer, theirs};
    const std::string bytes = EncodeConflict(conflict);
    CRegistryKey key;
    if (!SyncStore::Open(key, SyncStore::kConflictsPath, true) || !SyncStore::WriteBytes(key, theirs.id, bytes)) {
        return false;
    }
    m_conflicts[theirs.id] = conflict;
    return true;
}

void CSyncLedger::ForgetConflict(const std::string& id)
{
    CRegistryKey key;
    if (SyncStore::Open(key, SyncStore::kConflictsPath, false)) {
        key.DeleteValue(id);
    }
    m_conflicts.erase(id);
}

std::map<std::string, CSyncLedger::SConflict> CSyncLedger::Conflicts() const
{
    return m_conflicts;
}

std::map<std::string, CSyncLedger::SConflict> CSyncLedger::ReadConflicts()
{
    std::map<std::string, SConflict> conflicts;
    CRegistryKey key;
    if (!SyncStore::Open(key, SyncStore::kConflictsPath, false)) {
        return conflicts;
    }
    SyncStore::ForEachValue(key, [&conflicts](const std::string& name, std::string_view bytes) {
        if (std::optional<SConflict> conflict = DecodeConflict(bytes)) {
            conflicts[name] = std::move(*conflict);
        }
    });
    return conflicts;
}

int CSyncLedger::RequestResolution(const std::string& id, bool keepLocal)
{
    const std::map<std::string, SConflict> conflicts = ReadConflicts();
    if (conflicts.find(id) == conflicts.end()) {
        return 0;
    }
    CRegistryKey key;
    const char choice = keepLocal ? kKeepLocal : kKeepPeer;
    return SyncStore::Open(key, SyncStore::kResolvePath, true) &&
                   SyncStore::WriteBytes(key, id, std::string_view(&choice, 1))
               ? 1
               : 0;
}
