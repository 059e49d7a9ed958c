#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// How many changes the product branch has had, for "has anything changed?" at the cost of
// two memory reads per request.
//
// Every writer of this store moves a count in a named shared section after its change and
// before its call returns: that is what a reader may rely on. Changes made without this
// store (regedit, reg.exe, a restored hive) and the change of a writer that died before
// counting it are caught by a registry notification on the branch, which a thread of the
// reader re-arms and then counts, a moment after the change. Where the section cannot be
// opened (a user who may not change the store) the count is unknown (0); opening is tried
// again at most once a second.
class CRegistryChangeCount
{
public:
    // section: the shared section's name; root and branch: the key the branch is opened
    // below (an HKEY) and the branch's path, watched for the changes of others.
    CRegistryChangeCount(std::wstring section, void* root, std::wstring branch);
    ~CRegistryChangeCount();
    CRegistryChangeCount(const CRegistryChangeCount&) = delete;
    CRegistryChangeCount& operator=(const CRegistryChangeCount&) = delete;

    // The shared section of the branch below machineRoot (see CWin32RegistryStore): one per
    // branch, seen by every session.
    static std::wstring SectionOf(const std::string& machineRoot);

    // Never 0 when known. The first read starts the watching thread.
    uint64_t Read();
    // The count while the notification watches the branch, so that no change of any
    // writer goes uncounted (a writer of this store that died before counting included);
    // 0 while it does not (no branch yet, or it was deleted and is not watched again yet).
    uint64_t Watched();
    // After a change of this process, before its call returns.
    void Bump();

private:
    uint64_t* Counter(bool writing);
    void Watch();
    // One registration of the branch, re-armed after each change, until the branch is
    // missing or deleted or the store closes.
    void WatchBranch();

    const std::wstring m_section;
    void* const m_root;
    const std::wstring m_branch;
    std::atomic<uint64_t*> m_counter{nullptr};
    void* m_mapping = nullptr;
    std::mutex m_lock;
    std::chrono::steady_clock::time_point m_nextTry;
    // Changes the notification told of.
    std::atomic<uint64_t> m_noticed{0};
    std::atomic<bool> m_watching{false};
    std::once_flag m_started;
    void* const m_stop;
    std::thread m_watcher;
};
