// What the registry store adds on Windows: the values are the registry's own, byte for
// byte as the other platform stores them; a change by another process (reg.exe) signals an
// armed notification; a write of several values that fails part way leaves none of them.
#include "StoreTestSupport.h"
#include "platform/CEvent.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"
#include "settings/CKeyStore.h"
#include "settings/CRegistryKey.h"
#include "settings/RegistryNotify.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class RegistryStoreTest : public StoreTest
{
protected:
    // The value as the registry holds it, read without the store.
    std::string Native(const std::string& key, const char* name, DWORD* type = nullptr)
    {
        const std::wstring path = Platform::Widen(StateDir() + "\\" + CKeyStore::kProductPath + "\\" + key);
        const std::wstring value = Platform::Widen(name);
        DWORD size = 0;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), value.c_str(), RRF_RT_ANY, type, nullptr, &size) !=
            ERROR_SUCCESS) {
            return "<missing>";
        }
        std::string bytes(size, '\0');
        RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), value.c_str(), RRF_RT_ANY, type, bytes.data(), &size);
        bytes.resize(size);
        return bytes;
    }

    // Runs a program of the Windows directory to its end; its exit code.
    static DWORD Run(std::wstring command)
    {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                            &startup, &process)) {
            return GetLastError();
        }
        WaitForSingleObject(process.hThread, INFINITE);
        WaitForSingleObject(process.hProcess, 60000);
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return code;
    }

    CKeyStore store;
};

TEST_F(RegistryStoreTest, ValuesAreTheBytesEveryPlatformStores)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    ASSERT_EQ(store.WritePort(51056), 1);
    ASSERT_EQ(store.WritePassword("secret"), 1);
    const std::string key = KeyBytes(3, 1);
    const std::string id = "00A0B0C0D0E0";
    ASSERT_EQ(store.StoreKey(MakeRecord(id, key)), 1);

    DWORD type = 0;
    EXPECT_EQ(Native("Config", "PortNo", &type), std::string("\x70\xC7\x00\x00", 4));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    const std::string text = kTestMachineText;
    std::string password = "secret";
    for (size_t i = 0; i < password.size(); ++i) {
        password[i] = static_cast<char>(password[i] + text[i]);
    }
    EXPECT_EQ(Native("Config", "BinData", &type), password);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    std::string sealed = key;
    for (size_t i = 0; i < sealed.size(); ++i) {
        sealed[i] = static_cast<char>(sealed[i] + id[i % id.size()] + text[i % text.size()]);
    }
    EXPECT_EQ(Native("KeyList", id.c_str(), &type), sealed);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));

    const auto keys = store.LoadKeyList();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(std::string(keys.at(id).GetKey().View()), key);
    EXPECT_EQ(store.ReadPassword(), "secret");
    EXPECT_EQ(store.ReadPort(), 51056);
}

TEST_F(RegistryStoreTest, AChangeByAnotherProcessSignalsTheArmedKeyOnly)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    struct Case
    {
        const char* watched;
        const char* changed;
        bool signalled;
    };
    const Case cases[] = {
        {"Config", "Config", true},
        {"KeyList", "KeyList", true},
        {"Config", "KeyList", false},
    };
    for (const Case& c : cases) {
        CRegistryKey watched = std::string(c.watched) == "Config" ? store.OpenConfigKey() : store.OpenKeyListKey();
        Platform::CEvent event(false, false);
        ASSERT_EQ(NotifyChangeKeyValue(watched.GetHandle(), true, kRegNotifyChangeLastSet, &event), 0);
        const std::wstring command = L"reg.exe add \"HKLM\\" + Platform::Widen(StateDir()) +
                                     L"\\SOFTWARE\\Quillon\\CorvaneKeyServer\\" + Platform::Widen(c.changed) +
                                     L"\" /v Probe /t REG_BINARY /d 01 /f";
        ASSERT_EQ(Run(command), 0u) << c.changed;
        EXPECT_EQ(event.Wait(c.signalled ? 10000 : 500), c.signalled) << c.watched << " after " << c.changed;
    }
}

TEST_F(RegistryStoreTest, AWriteThatFailsPartWayLeavesEveryValueAsItWas)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    ASSERT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E0", KeyBytes(1, 1))), 1);
    const std::string before = Native("KeyList", "00A0B0C0D0E0");
    CRegistryKey keyList = store.OpenKeyListKey();
    const std::string replaced(32, 'r');
    const std::string added(32, 'a');
    const RegistryValue values[] = {
        {"00A0B0C0D0E0", kRegBinary, replaced.data(), 32},
        {"00A0B0C0D0E1", kRegBinary, added.data(), 32},
        {std::string_view("bad\0name", 8), kRegBinary, added.data(), 32},
    };
    EXPECT_NE(keyList.SetValues(values), 0);
    EXPECT_EQ(Native("KeyList", "00A0B0C0D0E0"), before);
    EXPECT_EQ(Native("KeyList", "00A0B0C0D0E1"), "<missing>");

    // A replacement of the whole list that fails keeps the values it would have removed.
    CRegistryKey config = store.OpenConfigKey();
    const RegistryValue settings[] = {{"PortNo", kRegDword, "\x01\x00\x00\x00", 4}};
    const RegistryKeyWrite writes[] = {
        {config.GetHandle(), false, settings},
        {keyList.GetHandle(), true, std::span(values + 1, 2)},
    };
    EXPECT_NE(SettingsStore().WriteValues(writes), 0);
    EXPECT_EQ(Native("KeyList", "00A0B0C0D0E0"), before);
    EXPECT_EQ(store.ReadPort(), 51056);
}

} // namespace
