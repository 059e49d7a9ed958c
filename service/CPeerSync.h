#pragma once

#include "service/CKeyListCache.h"
#include "settings/CKeyStore.h"
#include "sync/CPeerStore.h"
#include "sync/CSyncLedger.h"
#include "sync/PeerLink.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

class CRequestConnection;
class CRequestGuard;
class CRequestLog;
namespace ZiRez {
class CPeerAddress;
}

// The service's side of peer sync. Its thread looks at the store 20 times a second (a
// shared counter that every change of the store moves):
// whatever changed the key list (the console, corvane-admin, an import, a cooperation
// push, a peer) is stamped in the ledger and offered to every peer at once; every minute,
// and at start, each peer is compared whole, so one that was away catches up. Peers that
// connect are answered by the connection's worker (Answer). The ledger is used by one
// thread at a time; no lock is held while a peer is talked to.
class CPeerSync
{
public:
    static constexpr auto kLookInterval = std::chrono::milliseconds(50);
    static constexpr int64_t kFullIntervalSeconds = 60;
    static constexpr auto kFullInterval = std::chrono::seconds(kFullIntervalSeconds);
    // A peer that could not be synced is tried again sooner.
    static constexpr auto kRetryInterval = std::chrono::seconds(5);
    static constexpr int kPeerTimeOutMs = 5000;

    explicit CPeerSync(CKeyListCache& keyLists) : m_keyLists(keyLists) {}
    ~CPeerSync();
    CPeerSync(const CPeerSync&) = delete;
    CPeerSync& operator=(const CPeerSync&) = delete;

    void Start();
    // Ends the thread; one still talking to a peer is left to end with the process.
    void Stop();
    // Serves a peer's sync request, acknowledged already; throws SThrottled when the peer's
    // throttle refuses it, and any error that ends the connection.
    void Answer(CRequestConnection& connection, CRequestGuard& guard, const ZiRez::CPeerAddress& address,
                CRequestLog& log);

private:
    using Clock = std::chrono::steady_clock;
    struct SPeerState
    {
        CPeerStore::SStatus status;
        bool known = false;
        Clock::time_point nextFull{};
        int64_t written = 0; // the last sync time written to the store
    };

    void Run();
    // Whether any peer is set; the peers are read again only when the store changed.
    bool Paired();
    // Loads the ledger and brings it up to the key list; false while the store cannot be used.
    bool Prepare();
    // Takes in changes of the store; true when there is something to offer the peers.
    bool LookAtStore();
    // With the ledger's lock held: stamps the key list's changes (see CSyncLedger::Scan);
    // nothing while the store is another machine's, whose keys this one cannot read.
    std::optional<size_t> ScanKeyList();
    void SyncPeers(bool all);
    void Record(const CPeerStore::SPeer& peer, const Sync::SPeerRun& run);
    void LogNewConflicts(const std::string& peer, const std::vector<std::string>& ids);
    std::shared_ptr<const Sync::SSnapshot> Snapshot();
    CSyncLedger::SApplied ApplyFrom(const std::string& peer, const std::vector<Sync::SEntry>& entries);

    CKeyListCache& m_keyLists;
    CKeyStore m_store;
    // Over the ledger and the two counts below it.
    std::mutex m_ledgerLock;
    CSyncLedger m_ledger{m_store};
    std::atomic<bool> m_ready{false};
    uint64_t m_changeCount = 0;
    size_t m_unsent = 0;          // local changes since the last round
    uint64_t m_peersLookedAt = 0; // by the thread only, as m_paired
    bool m_paired = false;
    std::shared_ptr<const Sync::SSnapshot> m_snapshot;
    uint64_t m_snapshotChanges = 0;
    std::map<std::string, SPeerState> m_peers;
    // Changes found outside the thread's own look (taken from a peer, or stamped while
    // answering one): the thread offers them to every peer.
    std::atomic<bool> m_offerNow{false};
    // Peers whose sync this server answered since the thread's last round.
    std::mutex m_heardLock;
    std::set<std::string> m_heardFrom;

    std::mutex m_runLock;
    std::condition_variable m_wake;
    bool m_stopping = false;
    bool m_ended = false;
    std::thread m_thread;
};
