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
    if (!m_evicted) {
        m_budget.m_total -= m_held;
    }
}

bool CReceiveBudget::CAccount::Charge(size_t bytes)
{
    std::lock_guard<std::mutex> guard(m_budget.m_lock);
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
    m_budget.m_total += bytes;
    while (m_budget.m_total > m_budget.m_bound && !m_evicted) {
        m_budget.EvictLargest();
    }
    return !m_evicted;
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
    return m_total;
}

// Called with the lock held and the total past the bound, so some account holds bytes.
void CReceiveBudget::EvictLargest()
{
    CAccount* largest = nullptr;
    for (CAccount* account = m_first; account != nullptr; account = account->m_next) {
        if (!account->m_evicted && (largest == nullptr || account->m_held > largest->m_held)) {
            largest = account;
        }
    }
    largest->m_evicted = true;
    m_total -= largest->m_held;
    if (largest->m_wake) {
        largest->m_wake(largest->m_held);
    }
}
