#include "KeptHive.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <gtest/gtest.h>

namespace {

// The privileges a hive is loaded with (administrators hold them, disabled).
bool EnableLoadPrivileges()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return false;
    }
    bool enabled = true;
    for (const wchar_t* name : {SE_BACKUP_NAME, SE_RESTORE_NAME}) {
        TOKEN_PRIVILEGES wanted{};
        wanted.PrivilegeCount = 1;
        wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        enabled = enabled && LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid) &&
                  AdjustTokenPrivileges(token, FALSE, &wanted, 0, nullptr, nullptr);
    }
    CloseHandle(token);
    return enabled;
}

} // namespace

std::optional<std::string> ValueInHive(const std::string& hive, const std::string& key, const std::string& value)
{
    EXPECT_TRUE(EnableLoadPrivileges());
    const std::wstring loaded = L"CorvaneKeptCopy-" + std::to_wstring(GetCurrentProcessId());
    const LSTATUS load = RegLoadKeyW(HKEY_LOCAL_MACHINE, loaded.c_str(), Platform::Widen(hive).c_str());
    EXPECT_EQ(load, static_cast<LSTATUS>(ERROR_SUCCESS)) << hive;
    if (load != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::string bytes(4096, '\0');
    DWORD size = static_cast<DWORD>(bytes.size());
    const std::wstring path = loaded + L"\\" + Platform::Widen(key);
    const LSTATUS read = RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), Platform::Widen(value).c_str(), RRF_RT_ANY,
                                      nullptr, bytes.data(), &size);
    EXPECT_EQ(RegUnLoadKeyW(HKEY_LOCAL_MACHINE, loaded.c_str()), static_cast<LSTATUS>(ERROR_SUCCESS));
    if (read != ERROR_SUCCESS) {
        return std::nullopt;
    }
    bytes.resize(size);
    return bytes;
}
