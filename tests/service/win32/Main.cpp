// Gives this test process a private branch of the registry, standing in for
// HKEY_LOCAL_MACHINE, as its store, and a private state folder (where the guard counts go),
// before anything touches them; both are removed at the end.
#include "net/CWinsockSession.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"
#include "settings/CSettingsStore.h"
#include "settings/win32/CWin32RegistryStore.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

int main(int argc, char** argv)
{
    const ZiRez::CWinsockSession sockets;
    const std::wstring name = L"service-" + std::to_wstring(GetCurrentProcessId());
    const std::filesystem::path stateDir = std::filesystem::temp_directory_path() / (L"corvane-tests-" + name);
    std::filesystem::create_directories(stateDir);
    SetEnvironmentVariableW(L"CORVANE_STATE_DIR", stateDir.c_str());
    const std::wstring branch = L"SOFTWARE\\CorvaneTests\\" + name;
    // Never destroyed: workers of a run may still use the store while the process exits.
    SetSettingsStoreForTesting(new CWin32RegistryStore(Platform::Narrow(branch)));
    // As below HKEY_LOCAL_MACHINE, SOFTWARE is there before anything of ours.
    HKEY software = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (branch + L"\\SOFTWARE").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &software, nullptr) == ERROR_SUCCESS) {
        RegCloseKey(software);
    }
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, branch.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, branch.c_str());
    std::error_code ignored;
    std::filesystem::remove_all(stateDir, ignored);
    return result;
}
