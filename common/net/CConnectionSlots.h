#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

namespace ZiRez {

class CServerConnection;

// The numbered slots of a server's accepted connections. The lock guards only the list,
// never a wait or I/O: a slot's connection lives as long as any call still holds it, and
// dropping one only shuts its socket down, so that the thread serving it wakes up and
// closes the slot.
class CConnectionSlots
{
public:
    CConnectionSlots() = default;
    CConnectionSlots(const CConnectionSlots&) = delete;
    CConnectionSlots& operator=(const CConnectionSlots&) = delete;

    // The lowest free slot's index.
    int Take(std::shared_ptr<CServerConnection> connection);
    // Null for a free or unknown slot.
    std::shared_ptr<CServerConnection> Find(int index) const;
    // Frees the slot; the connection closes once its last holder lets go.
    void Release(int index);
    // Frees every slot and shuts each socket down, waking the threads still waiting on them.
    void ShutDownAll();

    // Slots in use, not counting those already dropped.
    int Count() const;
    // Shuts down the connection whose peer has kept the server waiting longest, if it has
    // for at least silence (stalled once it has sent bytes: a unit mid-request on a
    // starved machine may pause) and has no bytes waiting unread: never one that is the
    // server's turn (its peer sent what was asked and waits for the answer). False when
    // there is none.
    bool DropSilent(std::chrono::milliseconds silence, std::chrono::milliseconds stalled);
    // The same for the connection in the slot, whatever its state; false when it is free
    // or already dropped.
    bool Drop(int index);

private:
    struct Slot
    {
        std::shared_ptr<CServerConnection> connection;
        bool inUse = false;
    };

    // With the lock held.
    void DropLocked(CServerConnection& connection);

    mutable std::mutex m_lock;
    std::vector<Slot> m_slots;
    int m_inUse = 0;
};

} // namespace ZiRez
