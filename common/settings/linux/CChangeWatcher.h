#pragma once

#include "CConnectionPool.h"
#include "settings/RegistryTypes.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Platform {
class CEvent;
}

// Delivers the store's one-shot change notifications. One thread per store, started on
// first use: it wakes on inotify events of the state directory (another process wrote)
// or on a poke (this process wrote), confirms against the change log and signals the
// event of every registration the change concerns. A slow poll covers missed wake-ups.
class CChangeWatcher
{
public:
    explicit CChangeWatcher(CConnectionPool& pool);
    ~CChangeWatcher();
    CChangeWatcher(const CChangeWatcher&) = delete;
    CChangeWatcher& operator=(const CChangeWatcher&) = delete;

    // Fires once for a change with a sequence number above baseline; false when the
    // watcher thread cannot be started.
    bool Arm(RegistryHandle handle, std::string path, bool subtree, uint32_t filter, Platform::CEvent* event,
             int64_t baseline);
    // Drops every registration of the handle; its events are not touched afterwards.
    void Disarm(RegistryHandle handle);
    // A change was committed by this process: wakes this watcher and those of others.
    void Committed();

private:
    struct Registration
    {
        RegistryHandle handle;
        std::string path;
        bool subtree;
        uint32_t filter;
        Platform::CEvent* event;
        int64_t baseline;
    };
    struct Change
    {
        int64_t seq;
        std::string path;
        int64_t kind;
    };

    bool Start();
    void Poke();
    void Run();
    void Check();
    static bool Concerns(const Registration& registration, const Change& change);

    CConnectionPool& m_pool;
    std::mutex m_mutex;
    std::vector<Registration> m_armed;
    std::thread m_thread;
    int m_inotify = -1;
    const int m_wake;
    bool m_stop = false;
};
