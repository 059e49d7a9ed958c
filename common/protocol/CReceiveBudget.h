#pragma once

#include <cstddef>
#include <functional>
#include <mutex>

// Bounds what all connections of a server hold of received items together, so that no
// number of peers can make the service hold more, whatever they send before a password
// could be checked. Each connection charges its items to an account. A charge that takes
// the total past the bound evicts the account holding the most (a unit's small request
// never holds the most): its wake-up is called, which closes that connection, and its
// charges fail from then on; its bytes no longer count, as they are freed while its
// request unwinds.
class CReceiveBudget
{
public:
    static constexpr size_t kServiceBound = size_t{64} << 20;

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

        // False when this account is, or by this charge becomes, evicted.
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

    explicit CReceiveBudget(size_t bound) : m_bound(bound) {}
    CReceiveBudget(const CReceiveBudget&) = delete;
    CReceiveBudget& operator=(const CReceiveBudget&) = delete;

    // Bytes held by accounts not evicted.
    size_t Total() const;

private:
    void EvictLargest();

    const size_t m_bound;
    mutable std::mutex m_lock;
    CAccount* m_first = nullptr; // accounts that have charged
    size_t m_total = 0;
};
