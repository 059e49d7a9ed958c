#include "net/CConnectionSlots.h"

#include "net/CServerConnection.h"

#include <algorithm>
#include <utility>

namespace ZiRez {

int CConnectionSlots::Take(std::shared_ptr<CServerConnection> connection)
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_inUse;
    for (size_t i = 0; i < m_slots.size(); ++i) {
        if (!m_slots[i].inUse) {
            m_slots[i].connection = std::move(connection);
            m_slots[i].inUse = true;
            return static_cast<int>(i);
        }
    }
    m_slots.push_back(Slot{std::move(connection), true});
    return static_cast<int>(m_slots.size() - 1);
}

std::shared_ptr<CServerConnection> CConnectionSlots::Find(int index) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (index < 0 || static_cast<size_t>(index) >= m_slots.size()) {
        return nullptr;
    }
    return m_slots[static_cast<size_t>(index)].connection;
}

void CConnectionSlots::Release(int index)
{
    std::shared_ptr<CServerConnection> released;
    std::lock_guard<std::mutex> guard(m_lock);
    if (index < 0 || static_cast<size_t>(index) >= m_slots.size()) {
        return;
    }
    Slot& slot = m_slots[static_cast<size_t>(index)];
    if (slot.inUse) {
        if (!slot.connection || !slot.connection->dropped) {
            --m_inUse;
        }
        released = std::move(slot.connection);
        slot.inUse = false;
    }
}

void CConnectionSlots::ShutDownAll()
{
    std::vector<Slot> slots;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        slots.swap(m_slots);
        m_inUse = 0;
    }
    for (Slot& slot : slots) {
        if (slot.connection) {
            // The descriptor closes when the waiting thread lets go.
            slot.connection->ShutDown();
        }
    }
}

int CConnectionSlots::Count() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_inUse;
}

bool CConnectionSlots::DropSilent(std::chrono::milliseconds silence, std::chrono::milliseconds stalled)
{
    const auto now = CServerConnection::Clock::now();
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<std::pair<CServerConnection::Clock::duration, CServerConnection*>> silent;
    for (const Slot& slot : m_slots) {
        CServerConnection* connection = slot.connection.get();
        if (slot.inUse && connection != nullptr && !connection->dropped) {
            const auto waited = connection->Silence(now);
            if (waited >= (connection->EverHeard() ? stalled : silence)) {
                silent.emplace_back(waited, connection);
            }
        }
    }
    std::sort(silent.begin(), silent.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [waited, connection] : silent) {
        // Its thread has not read yet what the peer sent: the peer has spoken.
        if (Sys::HasUnreadInput(connection->Socket())) {
            connection->Heard();
            continue;
        }
        DropLocked(*connection);
        return true;
    }
    return false;
}

bool CConnectionSlots::Drop(int index)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (index < 0 || static_cast<size_t>(index) >= m_slots.size()) {
        return false;
    }
    const Slot& slot = m_slots[static_cast<size_t>(index)];
    if (!slot.inUse || !slot.connection || slot.connection->dropped) {
        return false;
    }
    DropLocked(*slot.connection);
    return true;
}

void CConnectionSlots::DropLocked(CServerConnection& connection)
{
    connection.dropped = true;
    --m_inUse;
    connection.ShutDown();
}

} // namespace ZiRez
