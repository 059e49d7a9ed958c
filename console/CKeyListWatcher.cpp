#include "CKeyListWatcher.h"

#include "net/CSocketWaiter.h"
#include "settings/CKeyStore.h"
#include "settings/RegistryNotify.h"

CKeyListWatcher::CKeyListWatcher(CKeyStore& store, std::function<void()> changed)
    : m_store(store), m_changed(std::move(changed))
{}

CKeyListWatcher::~CKeyListWatcher()
{
    Stop();
}

void CKeyListWatcher::Start()
{
    if (m_thread.joinable()) {
        return;
    }
    try {
        m_keyList.emplace(m_store.OpenKeyListKey());
        if (!Arm()) {
            return;
        }
        m_thread = std::thread([this] { Run(); });
    } catch (...) {
        // No key list to watch, or no thread: the list is refreshed only by the console's
        // own actions.
    }
}

void CKeyListWatcher::Stop()
{
    m_stop.Set();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool CKeyListWatcher::Arm()
{
    constexpr uint32_t kFilter = kRegNotifyChangeName | kRegNotifyChangeLastSet;
    return NotifyChangeKeyValue(m_keyList->GetHandle(), true, kFilter, &m_changedEvent) == kErrorSuccess;
}

void CKeyListWatcher::Run()
{
    try {
        Watch();
    } catch (...) {
        // A failure on the way: the watch ends silently.
    }
}

void CKeyListWatcher::Watch()
{
    for (;;) {
        ZiRez::CSocketWaiter waiter;
        waiter.AddEvent(&m_changedEvent);
        waiter.AddEvent(&m_stop);
        if (waiter.Wait(-1, true) != 1 || waiter.ReadyEvent() != &m_changedEvent) {
            return;
        }
        // The pause gathers a burst of changes into one refill; the stop ends it at once.
        // Watching again before the call back means a change made while it reads is seen.
        if (m_stop.Wait(kPauseMs) || !Arm()) {
            return;
        }
        m_changed();
    }
}
