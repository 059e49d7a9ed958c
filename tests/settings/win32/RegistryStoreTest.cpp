// What the registry store adds on Windows: the values are the registry's own, byte for
// byte as the other platform stores them; a change by another process (reg.exe) signals an
// armed notification; a write of several values that fails part way leaves none of them;
// the change count moves with every change of another process before its call returns; a
// kept copy is a hive that is never replaced, leaves nothing else behind and loads back.
#include "CChildProcess.h"
#include "KeptHive.h"
#include "StoreTestSupport.h"
#include "platform/CEvent.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"
#include "settings/CKeyStore.h"
#include "settings/CRegistryKey.h"
#include "settings/RegistryNotify.h"
#include "settings/win32/CRegistryChangeCount.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

// The names of the folder's files.
std::vector<std::string> FileNames(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(Platform::Widen(folder), ignored)) {
        names.push_back(Platform::Narrow(entry.path().filename().wstring()));
    }
    return names;
}

// settings_store_writer on the test's branch, fed one command at a time.
class CStoreWriter
{
public:
    explicit CStoreWriter(const std::string& root)
    {
        wchar_t self[MAX_PATH];
        const std::filesystem::path folder =
            std::filesystem::path(std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH))).parent_path();
        const std::string program = Platform::Narrow((folder / CORVANE_STORE_WRITER).wstring());
        Harness::CChildProcess::SOptions streams;
        streams.input.kind = Harness::SChildStream::EKind::Pipe;
        streams.output.kind = Harness::SChildStream::EKind::Pipe;
        m_started = m_writer.Start({program, root}, streams);
    }

    // The writer's answer once its store call returned: "ok" or "failed".
    std::string Run(const std::string& command)
    {
        if (!m_started || !m_writer.Write(command + "\n")) {
            return "not started";
        }
        std::string answer;
        char c = 0;
        while (m_writer.Read(&c, 1) == 1 && c != '\n') {
            if (c != '\r') {
                answer += c;
            }
        }
        return answer;
    }

private:
    Harness::CChildProcess m_writer;
    bool m_started = false;
};

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

    // Runs reg.exe to its end, what it says kept out of the test's output; its exit code.
    static int Reg(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> argv{"reg.exe"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::string said;
        return Harness::RunProgram(argv, {}, &said);
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
        const std::string key = "HKLM\\" + StateDir() + "\\SOFTWARE\\Quillon\\CorvaneKeyServer\\" + c.changed;
        ASSERT_EQ(Reg({"add", key, "/v", "Probe", "/t", "REG_BINARY", "/d", "01", "/f"}), 0) << c.changed;
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

TEST_F(RegistryStoreTest, AKeptCopyIsAHiveNeverReplacedThatLoadsBack)
{
    std::string kept;
    EXPECT_EQ(store.KeepCopy(kept), 0) << "no store yet: nothing to copy";
    ASSERT_EQ(store.CreateLayout(), 1);
    const std::string id = "00A0B0C0D0E0";
    ASSERT_EQ(store.StoreKey(MakeRecord(id, KeyBytes(1, 1))), 1);
    const std::string sealed = Native("KeyList", id.c_str());

    // A folder that cannot be made (a file holds its name) gives no copy and leaves nothing.
    const std::string folder = Store().CopyFolder();
    std::filesystem::create_directories(Platform::Widen(folder));
    const std::string blocked = folder + "\\blocked";
    CloseHandle(CreateFileW(Platform::Widen(blocked).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    {
        CWin32RegistryStore elsewhere(StateDir(), blocked + "\\copies");
        SetSettingsStoreForTesting(&elsewhere);
        EXPECT_EQ(store.KeepCopy(kept), 0);
        SetSettingsStoreForTesting(&Store());
    }
    EXPECT_EQ(FileNames(folder), std::vector<std::string>{"blocked"});
    DeleteFileW(Platform::Widen(blocked).c_str());

    ASSERT_EQ(store.KeepCopy(kept), 1);
    EXPECT_EQ(kept.rfind(folder + "\\settings-20", 0), 0u) << kept;
    EXPECT_EQ(kept.substr(kept.size() - 5), "Z.hiv") << kept;
    EXPECT_EQ(FileNames(folder).size(), 1u) << "nothing left beside the copy";

    // Wine keeps no access list of a file (it reads back its owner's and the system's), so
    // that the copy is for administrators only is not looked at here.

    // A second copy within the same second must not replace the first.
    ASSERT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E1", KeyBytes(2, 1))), 1);
    std::string again;
    const int second = store.KeepCopy(again);
    EXPECT_TRUE(second == 1 ? again != kept : again.empty());
    EXPECT_EQ(FileNames(folder).size(), second == 1 ? 2u : 1u);

    // The hive holds the branch as it was: the key reads back sealed, the later one is not there.
    EXPECT_EQ(ValueInHive(kept, "KeyList", id), sealed);
    EXPECT_EQ(ValueInHive(kept, "KeyList", "00A0B0C0D0E1"), std::nullopt) << "the first copy was replaced";
}

TEST_F(RegistryStoreTest, EveryChangeOfAnotherProcessIsCountedBeforeItsCallReturns)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    CStoreWriter writer(StateDir());
    uint64_t last = store.ChangeCount();
    ASSERT_NE(last, 0u);
    // The writers' own count alone, without the notification that follows a change (which
    // this one never arms: it watches no branch).
    CRegistryChangeCount writers(CRegistryChangeCount::SectionOf(StateDir()), HKEY_LOCAL_MACHINE,
                                 L"SOFTWARE\\CorvaneTests\\no branch");
    uint64_t counted = writers.Read();
    ASSERT_NE(counted, 0u);
    struct Step
    {
        const char* command;
        int tag; // the key then registered, or -1 for none
    };
    const Step steps[] = {{"key 00A0B0C0D0E0 1", 1}, {"key 00A0B0C0D0E0 2", 2}, {"delete 00A0B0C0D0E0", -1}};
    for (int round = 0; round < 100; ++round) {
        for (const Step& step : steps) {
            ASSERT_EQ(writer.Run(step.command), "ok") << step.command;
            const uint64_t now = store.ChangeCount();
            ASSERT_NE(now, last) << step.command << " in round " << round << " was not counted";
            last = now;
            ASSERT_NE(writers.Read(), counted) << step.command << " in round " << round << ": not by its writer";
            counted = writers.Read();
            const auto keys = store.LoadKeyList();
            ASSERT_EQ(keys.size(), step.tag < 0 ? 0u : 1u) << step.command << " in round " << round;
            if (step.tag >= 0) {
                EXPECT_EQ(std::string(keys.begin()->second.GetKey().View()), KeyBytes(step.tag, 0));
            }
        }
    }
}

TEST_F(RegistryStoreTest, AChangeMadeWithoutTheStoreIsCountedAMomentLater)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    const std::string keyList = "HKLM\\" + StateDir() + "\\SOFTWARE\\Quillon\\CorvaneKeyServer\\KeyList";
    const std::vector<std::string> commands[] = {
        {"add", keyList, "/v", "00A0B0C0D0E0", "/t", "REG_BINARY", "/d", "01", "/f"},
        {"delete", keyList, "/v", "00A0B0C0D0E0", "/f"},
    };
    store.ChangeCount();
    for (const auto& command : commands) {
        // Settled first: the watch is armed and has counted what came before.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const uint64_t before = store.ChangeCount();
        ASSERT_EQ(Reg(command), 0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (store.ChangeCount() == before && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_NE(store.ChangeCount(), before) << command[0];
    }
}

} // namespace
