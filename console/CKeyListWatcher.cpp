#include "CKeyListWatcher.h"

#include "net/CSocketWaiter.h"
#include "settings/CKeyStore.h"
#include "settings/RegistryNotify.h"

#include <system_error>

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
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // Without a thread the list is refreshed only by the console's own actions.
    }
}

void CKeyListWatcher::Stop()
{
    m_stop.Set();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CKeyListWatcher::Run()
{
    try {
        Watch();
    } catch (...) {
        // No event, or a failure on the way: the watch ends silently.
    }
}

void CKeyListWatcher::Watch()
{
    Platform::CEvent changed(false, false);
    CRegistryKey keyList = m_store.OpenKeyListKey();
    constexpr uint32_t kFilter = kRegNotifyChangeName | kRegNotifyChangeLastSet;
    for (;;) {
        if (NotifyChangeKeyValue(keyList.GetHandle(), true, kFilter, &changed) != kErrorSuccess) {
            return;
        }
        ZiRez::CSocketWaiter waiter;
        waiter.AddEvent(&changed);
        waiter.AddEvent(&m_stop);
        if (waiter.Wait(-1, true) != 1 || waiter.ReadyEvent() != &changed) {
            return;
        }
        // The pause gathers a burst of changes into one refill; the stop ends it at once.
        if (m_stop.Wait(kPauseMs)) {
            return;
        }
        m_changed();
    }
}
