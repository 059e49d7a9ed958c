// Oxlade.exe as an administrator runs it, each command word against the system's service
// control manager (Wine's under CI), with the real Ternwick.exe beside it answering on its
// port between the steps. What Oxlade shows are message boxes: they are read and answered
// as a user would.
#include "KeptHive.h"
#include "OxladeRun.h"
#include "control/win32/CScmServiceManager.h"
#include "net/CWinsockSession.h"
#include "platform/ServiceStatus.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"
#include "protocol/CKeyServerClient.h"
#include "settings/CKeyStore.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <sstream>
#include <thread>

namespace {

constexpr const char* kTestPort = "51071";

class OxladeServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_oxlade = StageOxlade("corvane-oxlade", TERNWICK_EXE);
        CScmServiceManager manager;
        ASSERT_TRUE(manager.Open());
        ASSERT_NE(manager.OpenExisting(), 0u) << "a service Ternwick is installed already";
        // The service listens on the store's port: one no other test uses.
        m_store.RemoveLayout();
        ASSERT_EQ(m_store.Prepare(), 1);
        ASSERT_EQ(m_store.SetPortFromText(kTestPort), 1);
    }
    void TearDown() override
    {
        CScmServiceManager manager;
        if (manager.Open() && manager.OpenExisting() == 0) {
            manager.Control(CServiceManager::kControlStop);
            manager.Delete();
        }
        m_store.RemoveLayout();
        std::error_code ignored;
        std::filesystem::remove_all(m_oxlade.parent_path(), ignored);
    }

    SOxladeRun Run(const std::string& commandLine, const std::vector<std::string>& boxCaptions = {})
    {
        return RunOxlade(m_oxlade, commandLine, boxCaptions);
    }

    static uint32_t State()
    {
        CScmServiceManager manager;
        uint32_t state = 0;
        if (!manager.Open() || manager.OpenExisting() != 0 || !manager.QueryStatus(state)) {
            return 0;
        }
        return state;
    }

    // The service's state once it has settled (pending states pass within seconds).
    static uint32_t SettledState()
    {
        uint32_t state = State();
        for (int i = 0; i < 100 && (state == kServiceStartPending || state == kServiceStopPending ||
                                    state == kServicePausePending || state == kServiceContinuePending);
             ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            state = State();
        }
        return state;
    }

    // The key service answers CHECK on the port within a few seconds.
    static bool Answers()
    {
        for (int attempt = 0; attempt < 50; ++attempt) {
            try {
                CKeyServerClient client;
                client.Open("127.0.0.1", static_cast<uint16_t>(std::stoi(kTestPort)));
                const StatusBlock status = client.Check();
                return status.status == 0;
            } catch (...) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
        return false;
    }

    std::filesystem::path m_oxlade;
    CKeyStore m_store;
    ZiRez::CWinsockSession m_sockets;
};

TEST_F(OxladeServiceTest, EveryCommandWordOnTheServiceControlManager)
{
    const SOxladeRun install = Run("install");
    EXPECT_EQ(install.exitCode, 0u);
    EXPECT_EQ(install.text, "");
    EXPECT_EQ(SettledState(), kServiceRunning);
    EXPECT_TRUE(Answers());

    const SOxladeRun again = Run("INSTALL", {"Oxlade"});
    EXPECT_EQ(again.exitCode, 1u);
    EXPECT_EQ(again.text, "Error Info: Can't Install Service!! - 1073\n");

    EXPECT_EQ(Run("suspend").exitCode, 0u);
    EXPECT_EQ(SettledState(), kServicePaused);
    const SOxladeRun paused = Run("status", {"Oxlade - Status"});
    EXPECT_EQ(paused.exitCode, 0u);
    EXPECT_EQ(paused.text, "The service is paused.\n");
    EXPECT_EQ(Run("suspend").exitCode, 0u); // already suspended: nothing to do

    EXPECT_EQ(Run("resume").exitCode, 0u);
    EXPECT_EQ(SettledState(), kServiceRunning);
    EXPECT_TRUE(Answers());
    const SOxladeRun running = Run("Status", {"Oxlade - Status"});
    EXPECT_EQ(running.text, "The service is running.\n");

    EXPECT_EQ(Run("stop").exitCode, 0u);
    EXPECT_EQ(SettledState(), kServiceStopped);
    EXPECT_EQ(Run("stop").exitCode, 0u);
    EXPECT_EQ(Run("start").exitCode, 0u);
    EXPECT_EQ(SettledState(), kServiceRunning);
    EXPECT_TRUE(Answers());

    EXPECT_EQ(Run("uninstall").exitCode, 0u);
    CScmServiceManager manager;
    ASSERT_TRUE(manager.Open());
    EXPECT_NE(manager.OpenExisting(), 0u);
    EXPECT_EQ(m_store.LayoutExists(), 0) << "uninstall removes the settings branch";
    const SOxladeRun missing = Run("start", {"Oxlade"});
    EXPECT_EQ(missing.exitCode, 1u);
    EXPECT_NE(missing.text.find("Can't open Service!!"), std::string::npos) << missing.text;
}

TEST_F(OxladeServiceTest, UninstallWithKeysKeepsAHiveOfThemFirst)
{
    ASSERT_EQ(Run("install").exitCode, 0u);
    const std::string id = "00A0B0C0D0E0";
    CKeyRecord record;
    record.SetId(id);
    const unsigned char key[CKeyRecord::kKeyLength] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    record.SetKey(key);
    ASSERT_EQ(m_store.StoreKey(record), 1);
    const std::wstring keyList = Platform::Widen(std::string(CKeyStore::kKeyListPath));
    std::string sealed(64, '\0');
    DWORD size = static_cast<DWORD>(sealed.size());
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, keyList.c_str(), Platform::Widen(id).c_str(), RRF_RT_ANY, nullptr,
                           sealed.data(), &size),
              static_cast<LSTATUS>(ERROR_SUCCESS));
    sealed.resize(size);

    const SOxladeRun uninstall = Run("uninstall", {"Oxlade"});
    EXPECT_EQ(uninstall.exitCode, 0u);
    EXPECT_EQ(m_store.LayoutExists(), 0);
    // The box names the copy between quotes, and how to put it back on Windows.
    const size_t open = uninstall.text.find('"');
    const size_t close = uninstall.text.find('"', open + 1);
    ASSERT_NE(close, std::string::npos) << uninstall.text;
    const std::string copy = uninstall.text.substr(open + 1, close - open - 1);
    const std::string quoted = "\"" + copy + "\"";
    EXPECT_EQ(uninstall.text, "The keys of 1 registration were kept in " + quoted +
                                  " (readable by administrators only; it restores this machine's key store).\n"
                                  "  To restore them: Oxlade install; Oxlade stop; reg restore "
                                  "HKLM\\SOFTWARE\\Quillon\\CorvaneKeyServer " +
                                  quoted + "; Oxlade start\n  To delete them:  del " + quoted + "\n");
    EXPECT_NE(copy.find("\\Quillon\\CorvaneKeyServer\\settings-"), std::string::npos) << copy;

    EXPECT_EQ(ValueInHive(copy, "KeyList", id), sealed);
    DeleteFileW(Platform::Widen(copy).c_str());
}

// The service's log, in the machine's program data folder whoever runs it.
std::filesystem::path ServiceLog()
{
    wchar_t* folder = nullptr;
    SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &folder);
    const std::filesystem::path log =
        std::filesystem::path(folder) / L"Quillon" / L"CorvaneKeyServer" / L"Ternwick.log";
    CoTaskMemFree(folder);
    return log;
}

// A start that ends in the service's stop is a failure with the service's reason, and the
// service's last log lines are there to say why.
TEST_F(OxladeServiceTest, AServiceThatStopsDuringItsStartFailsTheStart)
{
    const struct
    {
        const char* what;
        std::function<void(SOCKET&)> arrange;
        const char* text;
        DWORD specificCode;
        const char* logged;
    } cases[] = {
        {"port held by another program",
         [this](SOCKET& holder) {
             // A port of the system's choosing, as the test port may linger from the tests before.
             holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
             sockaddr_in address{};
             address.sin_family = AF_INET;
             ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
             ASSERT_EQ(listen(holder, 1), 0);
             int length = sizeof address;
             ASSERT_EQ(getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length), 0);
             ASSERT_EQ(m_store.SetPortFromText(std::to_string(ntohs(address.sin_port))), 1);
         },
         "Error Info: Can't Start Service!! - 1067\n", 0, "listener failed"},
        {"store of another machine",
         [](SOCKET&) {
             const char other[] = "another machine";
             ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, CKeyStore::kConfigPath, CKeyStore::kVerifierValue,
                                       REG_BINARY, other, sizeof other),
                       ERROR_SUCCESS);
         },
         "Error Info: Can't Start Service!! - 1066\n", 78, "cannot start"},
    };
    for (const auto& c : cases) {
        std::error_code ignored;
        std::filesystem::remove(ServiceLog(), ignored);
        SOCKET holder = INVALID_SOCKET;
        c.arrange(holder);
        const SOxladeRun install = Run("install", {"Oxlade"});
        EXPECT_EQ(install.exitCode, 1u) << c.what;
        EXPECT_EQ(install.text, c.text) << c.what;
        SERVICE_STATUS status{};
        {
            CScmServiceManager manager;
            ASSERT_TRUE(manager.Open());
            ASSERT_EQ(manager.OpenExisting(), 0u);
            const SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
            const SC_HANDLE service = OpenServiceW(scm, L"Ternwick", SERVICE_QUERY_STATUS);
            QueryServiceStatus(service, &status);
            CloseServiceHandle(service);
            CloseServiceHandle(scm);
            manager.Delete();
        }
        EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED)) << c.what;
        EXPECT_EQ(status.dwServiceSpecificExitCode, c.specificCode) << c.what;
        std::ostringstream log;
        log << std::ifstream(ServiceLog()).rdbuf();
        EXPECT_NE(log.str().find(c.logged), std::string::npos) << c.what << ": " << log.str();
        EXPECT_NE(log.str().find("Ternwick stopped"), std::string::npos) << c.what << ": " << log.str();
        closesocket(holder);
        m_store.RemoveLayout();
        ASSERT_EQ(m_store.Prepare(), 1);
        ASSERT_EQ(m_store.SetPortFromText(kTestPort), 1);
    }
}

} // namespace
