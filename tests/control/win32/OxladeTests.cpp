// Oxlade.exe as an administrator runs it, each command word against the system's service
// control manager (Wine's under CI), with the real Ternwick.exe beside it answering on its
// port between the steps. Results that Oxlade shows are message boxes: they are read and
// answered as a user would.
#include "control/win32/CScmServiceManager.h"
#include "platform/ServiceStatus.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"
#include "protocol/CKeyServerClient.h"
#include "settings/CKeyStore.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace {

constexpr const char* kTestPort = "51071";

// A message box of another process: its caption, text and buttons.
struct SBox
{
    HWND window = nullptr;
    std::string text;
};

struct SBoxSearch
{
    DWORD process;
    std::wstring caption;
    HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<SBoxSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t caption[128] = {};
    GetWindowTextW(window, caption, 128);
    if (process == search->process && IsWindowVisible(window) && search->caption == caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// One run of Oxlade.exe: its exit code, and the one box it showed (answered with OK).
struct SRun
{
    DWORD exitCode = 0xFFFFFFFF;
    std::string caption;
    std::string text;
};

class OxladeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Oxlade installs the Ternwick.exe beside it: both go into a folder of the test's.
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::filesystem::path(temp) / ("corvane-oxlade-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(m_folder);
        std::filesystem::copy_file(Platform::Widen(OXLADE_EXE), m_folder / "Oxlade.exe",
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::copy_file(Platform::Widen(TERNWICK_EXE), m_folder / "Ternwick.exe",
                                   std::filesystem::copy_options::overwrite_existing);
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
        std::filesystem::remove_all(m_folder, ignored);
    }

    // Runs Oxlade.exe with the command line; a box it shows is read and answered.
    SRun Run(const std::string& commandLine, const std::vector<std::string>& boxCaptions = {})
    {
        SRun run;
        std::wstring line = L"\"" + (m_folder / "Oxlade.exe").wstring() + L"\" " + Platform::Widen(commandLine);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
            ADD_FAILURE() << "Oxlade.exe did not start: " << GetLastError();
            return run;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT &&
               std::chrono::steady_clock::now() < deadline) {
            for (const std::string& caption : boxCaptions) {
                SBoxSearch search{process.dwProcessId, Platform::Widen(caption)};
                EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
                if (search.found != nullptr) {
                    wchar_t text[1024] = {};
                    SendMessageW(GetDlgItem(search.found, 0xFFFF), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
                    run.caption = caption;
                    run.text = Platform::Narrow(text);
                    PostMessageW(search.found, WM_COMMAND, IDOK, 0);
                }
            }
        }
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        if (run.exitCode == STILL_ACTIVE) {
            TerminateProcess(process.hProcess, 99);
            ADD_FAILURE() << "Oxlade.exe " << commandLine << " did not end";
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return run;
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

    std::filesystem::path m_folder;
    CKeyStore m_store;
};

TEST_F(OxladeTest, EveryCommandWordOnTheServiceControlManager)
{
    const SRun install = Run("install");
    EXPECT_EQ(install.exitCode, 0u);
    EXPECT_EQ(install.text, "");
    EXPECT_EQ(SettledState(), kServiceRunning);
    EXPECT_TRUE(Answers());

    const SRun again = Run("INSTALL", {"Oxlade"});
    EXPECT_EQ(again.exitCode, 1u);
    EXPECT_EQ(again.text, "Error Info: Can't Install Service!! - 1073\n");

    EXPECT_EQ(Run("suspend").exitCode, 0u);
    EXPECT_EQ(SettledState(), kServicePaused);
    const SRun paused = Run("status", {"Oxlade - Status"});
    EXPECT_EQ(paused.exitCode, 0u);
    EXPECT_EQ(paused.text, "The service is paused.\n");
    EXPECT_EQ(Run("suspend").exitCode, 0u); // already suspended: nothing to do

    EXPECT_EQ(Run("resume").exitCode, 0u);
    EXPECT_EQ(SettledState(), kServiceRunning);
    EXPECT_TRUE(Answers());
    const SRun running = Run("Status", {"Oxlade - Status"});
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
    const SRun missing = Run("start", {"Oxlade"});
    EXPECT_EQ(missing.exitCode, 1u);
    EXPECT_NE(missing.text.find("Can't open Service!!"), std::string::npos) << missing.text;
}

TEST_F(OxladeTest, AnythingButACommandWordShowsTheHelp)
{
    for (const char* line : {"", "restart", "install now"}) {
        const SRun help = Run(line, {"Oxlade - Help"});
        EXPECT_EQ(help.exitCode, 1u) << line;
        EXPECT_EQ(help.text.rfind("Usage : Oxlade COMMAND\n", 0), 0u) << line;
    }
    EXPECT_EQ(State(), 0u) << "nothing was installed";
}

} // namespace
