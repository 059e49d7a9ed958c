#pragma once

#include "platform/CEvent.h"
#include "settings/CRegistryKey.h"

#include <functional>
#include <optional>
#include <thread>

class CKeyStore;

// Watches the key list for added, removed and changed registrations, by any process. After
// each change it waits one second, so that a burst of changes ends in one call, then watches
// again and calls back on its own thread. The watch is in place when Start returns, so no
// change made after it goes unseen. It ends when stopped, or silently when the key list
// cannot be watched.
class CKeyListWatcher
{
public:
    static constexpr int kPauseMs = 1000;

    CKeyListWatcher(CKeyStore& store, std::function<void()> changed);
    // Stops the watcher.
    ~CKeyListWatcher();
    CKeyListWatcher(const CKeyListWatcher&) = delete;
    CKeyListWatcher& operator=(const CKeyListWatcher&) = delete;

    void Start();
    // Ends the watch, the pause included, and waits for the thread; no call back follows.
    void Stop();

private:
    void Run();
    // Asks for the next change; false when the key list cannot be watched.
    bool Arm();
    void Watch();

    CKeyStore& m_store;
    std::function<void()> m_changed;
    Platform::CEvent m_stop{true, false};
    Platform::CEvent m_changedEvent{false, false};
    std::optional<CRegistryKey> m_keyList;
    std::thread m_thread;
};
