#include "CReceiveBudget.h"

#include <utility>

CReceiveBudget::CAccount::CAccount(CReceiveBudget& budget, std::function<void(size_t)> wake)
    : m_budget(budget), m_wake(std::move(wake))
{}

CReceiveBudget::CAccount::~CAccount()
{
    if (!m_listed) {
        return;
    }
    std::lock_guard<std::mutex> guard(m_budget.m_lock);
    (m_previous != nullptr ? m_previous->m_next : m_budget.m_first) = m_next;
    if (m_next != nullptr) {
        m_next->m_previous = m_previous;
    }
    (m_evicted ? m_budget.m_dying : m_budget.m_live) -= m_held;
    m_budget.m_freed.notify_all();
}

bool CReceiveBudget::CAccount::Charge(size_t bytes)
{
    std::unique_lock<std::mutex> guard(m_budget.m_lock);
    if (!m_listed) {
        m_next = m_budget.m_first;
        if (m_next != nullptr) {
            m_next->m_previous = this;
        }
        m_budget.m_first = this;
        m_listed = true;
    }
    if (m_evicted) {
        return false;
    }
    m_held += bytes;
    m_budget.m_live += bytes;
    while (m_budget.m_live > m_budget.m_bound && !m_evicted) {
        m_budget.EvictLargest();
    }
    if (m_evicted) {
        Refuse(*this, bytes);
        return false;
    }
    // The accounts evicted meanwhile still hold their bytes until their requests unwind.
    const bool room = m_budget.m_freed.wait_for(guard, m_budget.m_freeWait, [this] {
        return m_evicted || m_budget.m_live + m_budget.m_dying <= m_budget.m_bound;
    });
    if (!room || m_evicted) {
        if (!m_evicted) {
            m_evicted = true;
            m_budget.m_live -= m_held;
            m_budget.m_dying += m_held;
        }
        Refuse(*this, bytes);
        return false;
    }
    return true;
}

void CReceiveBudget::Refuse(CAccount& account, size_t bytes)
{
    account.m_held -= bytes;
    account.m_budget.m_dying -= bytes;
    account.m_budget.m_freed.notify_all();
}

bool CReceiveBudget::CAccount::Evicted() const
{
    if (!m_listed) {
        return false;
    }
    std::lock_guard<std::mutex> guard(m_budget.m_lock);
    return m_evicted;
}

size_t CReceiveBudget::Total() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_live + m_dying;
}

// Called with the lock held and the live bytes past the bound, so some account holds them.
void CReceiveBudget::EvictLargest()
{
    CAccount* largest = nullptr;
    for (CAccount* account = m_first; account != nullptr; account = account->m_next) {
        if (!account->m_evicted && (largest == nullptr || account->m_held > largest->m_held)) {
            largest = account;
        }
    }
    largest->m_evicted = true;
    m_live -= largest->m_held;
    m_dying += largest->m_held;
    if (largest->m_wake) {
        largest->m_wake(largest->m_held);
    }
}
