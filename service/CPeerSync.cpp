#include "CPeerSync.h"

#include "CRequestGuard.h"
#include "CRequestLog.h"
#include "Log.h"
#include "platform/SafeText.h"
#include "protocol/CRequestConnection.h"

#include <ctime>
#include <set>
#include <stdexcept>

namespace {

constexpr auto kStopWait = std::chrono::seconds(2);
constexpr int64_t kExpiryInterval = 3600;

int64_t Now()
{
    return static_cast<int64_t>(std::time(nullptr));
}

bool InSync(const std::string& state)
{
    return state.rfind("in sync", 0) == 0;
}

} // namespace

CPeerSync::~CPeerSync()
{
    Stop();
}

void CPeerSync::Start()
{
    m_thread = std::thread([this] {
        Run();
        std::lock_guard<std::mutex> guard(m_runLock);
        m_ended = true;
        m_wake.notify_all();
    });
}

void CPeerSync::Stop()
{
    std::unique_lock<std::mutex> guard(m_runLock);
    m_stopping = true;
    m_wake.notify_all();
    if (!m_thread.joinable()) {
        return;
    }
    const bool ended = m_wake.wait_for(guard, kStopWait, [this] { return m_ended; });
    guard.unlock();
    if (ended) {
        m_thread.join();
    } else {
        m_thread.detach();
    }
}

void CPeerSync::Run()
{
    int64_t nextExpiry = 0;
    for (bool first = true;; first = false) {
        if (!first) {
            std::unique_lock<std::mutex> guard(m_runLock);
            if (m_wake.wait_for(guard, kLookInterval, [this] { return m_stopping; })) {
                return;
            }
        }
        // Without peers the ledger is left alone: pairing later takes the key list as it is then.
        if (!Paired() || (!m_ready && !Prepare())) {
            continue;
        }
        bool changed = LookAtStore();
        if (Now() >= nextExpiry) {
            std::lock_guard<std::mutex> ledger(m_ledgerLock);
            m_ledger.ExpireTombstones(Now());
            nextExpiry = Now() + kExpiryInterval;
        }
        changed = m_offerNow.exchange(false) || changed;
        SyncPeers(changed);
    }
}

bool CPeerSync::Paired()
{
    const uint64_t count = m_store.ChangeCount();
    if (count != m_peersLookedAt || count == 0) {
        const std::optional<std::vector<CPeerStore::SPeer>> peers = CPeerStore().List();
        m_paired = peers && !peers->empty();
        m_peersLookedAt = count;
    }
    return m_paired;
}

bool CPeerSync::Prepare()
{
    std::lock_guard<std::mutex> ledger(m_ledgerLock);
    if (m_ready) {
        return true;
    }
    m_changeCount = m_store.ChangeCount();
    if (!m_ledger.Load()) {
        return false;
    }
    const std::optional<size_t> scanned = ScanKeyList();
    if (!scanned) {
        return false;
    }
    m_unsent += *scanned;
    m_ready = true;
    return true;
}

std::optional<size_t> CPeerSync::ScanKeyList()
{
    const std::shared_ptr<const CKeyListCache::KeyList> list = m_keyLists.Current();
    if (!list || m_store.CheckMachineIdentity() == CKeyStore::Identity::Foreign) {
        return std::nullopt;
    }
    return m_ledger.Scan(*list, Now());
}

bool CPeerSync::LookAtStore()
{
    const uint64_t count = m_store.ChangeCount();
    std::lock_guard<std::mutex> ledger(m_ledgerLock);
    if (count == m_changeCount && count != 0) {
        return false;
    }
    m_changeCount = count;
    const size_t resolved = m_ledger.ApplyResolutions(Now());
    const std::optional<size_t> scanned = ScanKeyList();
    if (!scanned) {
        return resolved > 0;
    }
    m_unsent += *scanned;
    return *scanned > 0 || resolved > 0;
}

void CPeerSync::SyncPeers(bool all)
{
    const std::optional<std::vector<CPeerStore::SPeer>> peers = CPeerStore().List();
    if (!peers) {
        return;
    }
    std::map<std::string, SPeerState> kept;
    for (const CPeerStore::SPeer& peer : *peers) {
        auto known = m_peers.find(peer.name);
        kept[peer.name] = known != m_peers.end() ? known->second : SPeerState{peer.status, false, {}};
    }
    m_peers = std::move(kept);
    size_t unsent = 0;
    {
        std::lock_guard<std::mutex> ledger(m_ledgerLock);
        unsent = std::exchange(m_unsent, 0);
    }
    std::set<std::string> heardFrom;
    {
        std::lock_guard<std::mutex> guard(m_heardLock);
        heardFrom.swap(m_heardFrom);
    }
    for (const CPeerStore::SPeer& peer : *peers) {
        SPeerState& state = m_peers[peer.name];
        state.status.waiting += static_cast<uint32_t>(unsent);
        // A peer out of sync that has just synced with this server is back: at once.
        const bool back = heardFrom.count(peer.name) != 0 && !InSync(state.status.state);
        if (!all && !back && Clock::now() < state.nextFull) {
            continue;
        }
        {
            std::lock_guard<std::mutex> guard(m_runLock);
            if (m_stopping) {
                return;
            }
        }
        const Sync::SPeerRun run = Sync::SyncWithPeer(
            peer, [this] { return Snapshot(); },
            [this, &peer](const std::vector<Sync::SEntry>& entries) { return ApplyFrom(peer.name, entries); },
            kPeerTimeOutMs);
        state.nextFull = Clock::now() + (run.kind == Sync::SPeerRun::Kind::InSync ? kFullInterval : kRetryInterval);
        Record(peer, run);
    }
}

void CPeerSync::Record(const CPeerStore::SPeer& peer, const Sync::SPeerRun& run)
{
    SPeerState& state = m_peers[peer.name];
    CPeerStore::SStatus status = state.status;
    const bool wasInSync = InSync(status.state);
    status.state = run.State();
    if (run.kind == Sync::SPeerRun::Kind::InSync) {
        status.lastSync = Now();
        status.waiting = 0;
    }
    {
        std::lock_guard<std::mutex> ledger(m_ledgerLock);
        status.conflicts = 0;
        for (const auto& [id, conflict] : m_ledger.Conflicts()) {
            status.conflicts += conflict.peer == peer.name ? 1 : 0;
        }
    }
    LogNewConflicts(peer.name, run.applied.news);
    if (wasInSync != InSync(status.state)) {
        LogLine(InSync(status.state) ? "peer " + peer.name + " in sync"
                                     : "peer " + peer.name + " out of sync: " + status.state);
    }
    const bool changed = !state.known || status.state != state.status.state || status.waiting != state.status.waiting ||
                         status.conflicts != state.status.conflicts;
    state.status = status;
    state.known = true;
    // The time of the last sync alone is written once a minute: each write is a change of
    // the store, which every process that watches it looks at.
    const bool stale = status.lastSync - state.written >= kFullIntervalSeconds;
    if (changed || stale) {
        CPeerStore().WriteStatus(peer.name, status);
        state.written = status.lastSync;
    }
}

void CPeerSync::LogNewConflicts(const std::string& peer, const std::vector<std::string>& ids)
{
    for (const std::string& id : ids) {
        LogLine("sync conflict with peer " + peer + ": another key or a deletion for \"" + SafeText(id, {64, true}) +
                "\"; each server serves its own until 'corvane-admin peer resolve' settles it");
    }
}

std::shared_ptr<const Sync::SSnapshot> CPeerSync::Snapshot()
{
    std::lock_guard<std::mutex> ledger(m_ledgerLock);
    // One copy per change of the ledger, however many exchanges offer it.
    if (!m_snapshot || m_snapshotChanges != m_ledger.Changes()) {
        m_snapshot = std::make_shared<const Sync::SSnapshot>(
            Sync::SSnapshot{m_ledger.Entries(), m_ledger.BucketDigests(), m_ledger.ServerId()});
        m_snapshotChanges = m_ledger.Changes();
    }
    return m_snapshot;
}

CSyncLedger::SApplied CPeerSync::ApplyFrom(const std::string& peer, const std::vector<Sync::SEntry>& entries)
{
    std::lock_guard<std::mutex> ledger(m_ledgerLock);
    return m_ledger.Apply(entries, peer, Now());
}

void CPeerSync::Answer(CRequestConnection& connection, CRequestGuard& guard, const ZiRez::CPeerAddress& address,
                       CRequestLog& log)
{
    guard.AdmitPassword(address);
    const std::optional<std::vector<CPeerStore::SPeer>> peers = CPeerStore().List();
    const Sync::SecretLookup lookup = [&peers](std::string_view secretId) -> std::optional<Sync::SPeerSecret> {
        for (const CPeerStore::SPeer& peer : peers.value_or(std::vector<CPeerStore::SPeer>())) {
            if (Sync::SecretId(peer.secret) == secretId) {
                return Sync::SPeerSecret{peer.name, peer.secret};
            }
        }
        return std::nullopt;
    };
    Sync::CServiceLink link(connection);
    std::string name;
    Sync::CSyncChannel channel = Sync::CSyncChannel::Answer(link, lookup, name);
    guard.PasswordRight(address);
    // A peer may ask before this service's own thread came to it, or while that thread
    // talks to another peer: the ledger is brought up to the key list first, and what it
    // finds is offered to every peer as soon as the thread is free.
    if (!m_ready && !Prepare()) {
        throw std::runtime_error("peer sync is not ready: the store cannot be used yet");
    }
    if (LookAtStore()) {
        m_offerNow = true;
    }
    log.AddId(name);
    const Sync::SOutcome outcome =
        Sync::RunAnswer(channel, *Snapshot(), [this, &name](const auto& entries) { return ApplyFrom(name, entries); });
    LogNewConflicts(name, outcome.applied.news);
    if (outcome.applied.failed) {
        throw std::runtime_error("the store could not take the peer's changes");
    }
    if (outcome.applied.taken > 0) {
        m_offerNow = true;
    }
    std::lock_guard<std::mutex> heard(m_heardLock);
    m_heardFrom.insert(name);
}
