#include "CRegistryChangeCount.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <algorithm>
#include <sddl.h>

namespace {

constexpr std::chrono::seconds kRetryInterval{1};
constexpr DWORD kRetryMs = 1000;

static_assert(std::atomic_ref<uint64_t>::is_always_lock_free, "the count is shared between processes");

// Administrators and the system may open the section; others read no count and load the
// key list afresh, as they may not change it anyway.
HANDLE CreateSection(const std::wstring& name)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        return nullptr;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    HANDLE section =
        CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, sizeof(uint64_t), name.c_str());
    LocalFree(descriptor);
    return section;
}

} // namespace

std::wstring CRegistryChangeCount::SectionOf(const std::string& machineRoot)
{
    std::wstring name = L"Global\\CorvaneKeyServer.Changes";
    if (!machineRoot.empty()) {
        std::wstring root = L"." + Platform::Widen(machineRoot);
        std::replace(root.begin(), root.end(), L'\\', L'.');
        name += root;
    }
    return name;
}

CRegistryChangeCount::CRegistryChangeCount(std::wstring section, void* root, std::wstring branch)
    : m_section(std::move(section)), m_root(root), m_branch(std::move(branch)),
      m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{}

CRegistryChangeCount::~CRegistryChangeCount()
{
    if (m_watcher.joinable()) {
        SetEvent(m_stop);
        m_watcher.join();
    }
    if (uint64_t* counter = m_counter.load()) {
        UnmapViewOfFile(counter);
    }
    if (m_mapping != nullptr) {
        CloseHandle(m_mapping);
    }
    if (m_stop != nullptr) {
        CloseHandle(m_stop);
    }
}

uint64_t CRegistryChangeCount::Read()
{
    std::call_once(m_started, [this] {
        if (m_stop != nullptr) {
            m_watcher = std::thread([this] { Watch(); });
        }
    });
    uint64_t* counter = Counter(false);
    if (counter == nullptr) {
        return 0;
    }
    return std::atomic_ref<uint64_t>(*counter).load(std::memory_order_acquire) +
           m_noticed.load(std::memory_order_acquire) + 1;
}

uint64_t CRegistryChangeCount::Watched()
{
    const uint64_t count = Read();
    return m_watching.load(std::memory_order_acquire) ? count : 0;
}

void CRegistryChangeCount::Bump()
{
    if (uint64_t* counter = Counter(true)) {
        std::atomic_ref<uint64_t>(*counter).fetch_add(1, std::memory_order_acq_rel);
    }
}

uint64_t* CRegistryChangeCount::Counter(bool writing)
{
    if (uint64_t* counter = m_counter.load(std::memory_order_acquire)) {
        return counter;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    const auto now = std::chrono::steady_clock::now();
    // A writer always tries (writes are rare); a reader at most once per interval.
    if (m_counter.load() != nullptr || (!writing && now < m_nextTry)) {
        return m_counter.load();
    }
    m_nextTry = now + kRetryInterval;
    HANDLE section = CreateSection(m_section);
    if (section == nullptr) {
        return nullptr;
    }
    void* view = MapViewOfFile(section, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(uint64_t));
    if (view == nullptr) {
        CloseHandle(section);
        return nullptr;
    }
    m_mapping = section;
    m_counter.store(static_cast<uint64_t*>(view), std::memory_order_release);
    return static_cast<uint64_t*>(view);
}

void CRegistryChangeCount::Watch()
{
    do {
        WatchBranch();
    } while (WaitForSingleObject(m_stop, kRetryMs) != WAIT_OBJECT_0);
}

void CRegistryChangeCount::WatchBranch()
{
    HKEY branch = nullptr;
    if (RegOpenKeyExW(static_cast<HKEY>(m_root), m_branch.c_str(), 0, KEY_NOTIFY, &branch) != ERROR_SUCCESS) {
        return;
    }
    HANDLE changed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE waits[] = {m_stop, changed};
    const DWORD filter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
    while (changed != nullptr && RegNotifyChangeKeyValue(branch, TRUE, filter, changed, TRUE) == ERROR_SUCCESS) {
        // Armed before it is counted: a load that follows the count sees every change up to
        // here, and the registration catches those after.
        m_noticed.fetch_add(1, std::memory_order_acq_rel);
        m_watching.store(true, std::memory_order_release);
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
            break;
        }
        ResetEvent(changed);
    }
    // Closing, or the branch was deleted (its handle can be armed no more): counted, as a
    // change may have come since the last count.
    m_watching.store(false, std::memory_order_release);
    m_noticed.fetch_add(1, std::memory_order_acq_rel);
    if (changed != nullptr) {
        CloseHandle(changed);
    }
    RegCloseKey(branch);
}
