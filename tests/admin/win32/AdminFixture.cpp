#include "AdminTest.h"
#include "console/lockkey/CStorageSystem.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"
#include "settings/CSettingsStore.h"
#include "settings/win32/CWin32RegistryStore.h"

#include <atomic>

namespace {

constexpr const char* kTestBranches = "SOFTWARE\\CorvaneTests";

void DeleteBranch(const std::string& path)
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, Platform::Widen(path).c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, Platform::Widen(path).c_str());
}

std::string NewBranch()
{
    // One branch per test and process: test programs may run side by side in one prefix.
    static std::atomic<int> counter{0};
    return std::string(kTestBranches) + "\\admin-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(counter++);
}

} // namespace

AdminTest::AdminTest() : m_branch(NewBranch())
{
    DeleteBranch(m_branch);
    m_registry = std::make_unique<CWin32RegistryStore>(m_branch);
    m_storeLocation = m_registry->ProductBranchName();
    m_countsDirectory = m_stateFolder.Path();
    m_storageSystem = &CStorageSystem::Default();
    // As below HKEY_LOCAL_MACHINE, SOFTWARE is there before anything of ours.
    HKEY software = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Platform::Widen(m_branch + "\\SOFTWARE").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &software, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(software);
    SetSettingsStoreForTesting(m_registry.get());
    EXPECT_EQ(store.CreateLayout(), 1);
}

AdminTest::~AdminTest()
{
    SetSettingsStoreForTesting(nullptr);
    m_registry.reset();
    DeleteBranch(m_branch);
}
