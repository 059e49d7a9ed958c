#include "StoreTestSupport.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"
#include "settings/CSettingsStore.h"
#include "settings/MachineText.h"

#include <algorithm>
#include <atomic>
#include <filesystem>

namespace {

constexpr const char* kTestBranches = "SOFTWARE\\CorvaneTests";

// Where the copies of a test's store go: a folder of the temporary directory, per branch.
std::filesystem::path CopyFolderOf(const std::string& root)
{
    std::string name = root;
    std::replace(name.begin(), name.end(), '\\', '-');
    return std::filesystem::temp_directory_path() / name;
}

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
    std::error_code ignored;
    std::filesystem::remove_all(CopyFolderOf(m_root), ignored);
    m_store = std::make_unique<CWin32RegistryStore>(m_root, Platform::Narrow(CopyFolderOf(m_root).wstring()));
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
    std::error_code ignored;
    std::filesystem::remove_all(CopyFolderOf(m_root), ignored);
}
