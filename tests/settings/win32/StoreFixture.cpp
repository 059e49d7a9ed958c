#include "StoreTestSupport.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"
#include "settings/CSettingsStore.h"
#include "settings/MachineText.h"

#include <atomic>

namespace {

constexpr const char* kTestBranches = "SOFTWARE\\CorvaneTests";

void DeleteBranch(const std::string& path)
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, Platform::Widen(path).c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, Platform::Widen(path).c_str());
}

} // namespace

void StoreTest::SetUp()
{
    // One branch per test and process: test programs may run side by side in one prefix.
    static std::atomic<int> counter{0};
    m_root =
        std::string(kTestBranches) + "\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
    m_stateDir = m_root;
    DeleteBranch(m_root);
    m_store = std::make_unique<CWin32RegistryStore>(m_root);
    // As below HKEY_LOCAL_MACHINE, SOFTWARE is there before anything of ours.
    HKEY software = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Platform::Widen(m_root + "\\SOFTWARE").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &software, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(software);
    SetSettingsStoreForTesting(m_store.get());
    SetMachineTextForTesting(std::string(kTestMachineText));
}

void StoreTest::TearDown()
{
    SetSettingsStoreForTesting(nullptr);
    m_store.reset();
    SetMachineTextForTesting(std::nullopt);
    DeleteBranch(m_root);
}
