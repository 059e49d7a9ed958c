#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <set>

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
        // wake(held) is called, under the budget's lock, when this account is evicted.
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
        size_t m_held = 0;      // guarded by the budget's lock
        bool m_evicted = false; // guarded by the budget's lock
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
    std::set<CAccount*> m_accounts;
    size_t m_total = 0;
};
