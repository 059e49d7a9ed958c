#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

// Bounds what all connections of a server hold of received items together, so that no
// number of peers can make the service hold more, whatever they send before a password
// could be checked. Each connection charges its items to an account before it takes the
// memory for them. A charge that takes the accounts still receiving past the bound evicts
// the one holding the most (a unit's small request never holds the most): its wake-up is
// called, which closes that connection, and its charges fail from then on. An evicted
// account's bytes count until the account goes (its request unwound, its memory freed):
// a charge that the bound cannot take until then waits for them, at most kFreeWait, and
// fails after it, so that the memory held never passes the bound.
class CReceiveBudget
{
public:
    static constexpr size_t kServiceBound = size_t{64} << 20;
    static constexpr std::chrono::milliseconds kFreeWait{2000};

    class CAccount
    {
    public:
        // wake(held) is called, under the budget's lock, when this account is evicted. The
        // account joins the budget with its first charge: a request without items costs
        // the budget nothing.
        CAccount(CReceiveBudget& budget, std::function<void(size_t held)> wake);
        ~CAccount();
        CAccount(const CAccount&) = delete;
        CAccount& operator=(const CAccount&) = delete;

        // False when this account is, or by this charge becomes, evicted; the bytes of a
        // charge that fails are not counted.
        bool Charge(size_t bytes);
        bool Evicted() const;

    private:
        friend class CReceiveBudget;
        CReceiveBudget& m_budget;
        const std::function<void(size_t)> m_wake;
        bool m_listed = false;  // used by the account's own thread only
        size_t m_held = 0;      // guarded by the budget's lock
        bool m_evicted = false; // guarded by the budget's lock
        // The budget's list of accounts, linked through them (no allocation per request);
        // guarded by the budget's lock.
        CAccount* m_previous = nullptr;
        CAccount* m_next = nullptr;
    };

    explicit CReceiveBudget(size_t bound, std::chrono::milliseconds freeWait = kFreeWait)
        : m_bound(bound), m_freeWait(freeWait)
    {}
    CReceiveBudget(const CReceiveBudget&) = delete;
    CReceiveBudget& operator=(const CReceiveBudget&) = delete;

    // Bytes held by all accounts, evicted ones included until they go.
    size_t Total() const;

private:
    void EvictLargest();
    // With the lock held: takes the account's charge back and evicts it.
    static void Refuse(CAccount& account, size_t bytes);

    const size_t m_bound;
    const std::chrono::milliseconds m_freeWait;
    mutable std::mutex m_lock;
    std::condition_variable m_freed;
    CAccount* m_first = nullptr; // accounts that have charged
    size_t m_live = 0;           // held by accounts not evicted
    size_t m_dying = 0;          // held by evicted accounts, until they go
};
