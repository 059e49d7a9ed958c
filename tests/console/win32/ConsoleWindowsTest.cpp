// The console's native windows on the key store of the running system (Wine's registry
// under CI), opened from the program's resources and driven from a second thread as a user
// would: found by caption, controls by identifier, message boxes read and answered. A
// picture of every dialog is saved under the build tree.
#include "CWindowDriver.h"
#include "console/CConsoleApp.h"
#include "console/CConsoleTasks.h"
#include "console/CMainDialog.h"
#include "console/CSingleInstanceLock.h"
#include "console/ConsoleStrings.h"
#include "console/KeyFetch.h"
#include "console/StoreAdministrator.h"
#include "console/lockkey/CStorageSystem.h"
#include "console/win32ui/CWin32StartupView.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"
#include "settings/CKeyStore.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <thread>

namespace {

using D = CWindowDriver;

constexpr const char* kMainCaption = "Key Server管理ツール";

std::string Screenshot(const char* name)
{
    std::filesystem::create_directories(std::filesystem::path(Platform::Widen(SCREENSHOT_DIR)));
    return std::string(SCREENSHOT_DIR) + "\\" + name + ".png";
}

CKeyRecord Record(const std::string& id, unsigned char seed)
{
    unsigned char key[CKeyRecord::kKeyLength];
    for (size_t i = 0; i < sizeof key; ++i) {
        key[i] = static_cast<unsigned char>(seed + i);
    }
    CKeyRecord record;
    record.SetKey(key);
    record.SetId(id);
    return record;
}

// The port the Linux key service to copy to listens on (its set-up writes it into its ready
// file, as the port asked for may be taken); 0 when there is none.
int CopyTargetPort()
{
    int port = 0;
    std::ifstream(std::filesystem::path(Platform::Widen(COPY_TARGET_READY))) >> port;
    return port;
}

// The message box shown next: its text is the string's, with the icon its style has.
void ExpectMessage(EStringId id, bool icon, std::vector<int> buttons, int answer = IDOK)
{
    const D::SMessageBox box = D::WaitForMessage();
    ASSERT_NE(box.window, nullptr) << "no message " << id;
    EXPECT_EQ(box.text, LoadConsoleString(id));
    EXPECT_EQ(box.icon, icon) << id;
    EXPECT_EQ(box.buttons, buttons) << id;
    D::Answer(box, answer);
}

class ConsoleWindows : public ::testing::Test
{
protected:
    void SetUp() override
    {
        store.RemoveLayout();
        ASSERT_EQ(store.Prepare(), 1);
    }
    void TearDown() override { store.RemoveLayout(); }

    // Runs the console on this thread, as the program does, and the script on a second one;
    // whatever the script leaves open is cancelled, so a failure part-way ends the run.
    void RunConsole(const std::function<void()>& script)
    {
        CConsoleTasks tasks(store);
        CConsoleApp console(tasks, CStorageSystem::Default());
        CWin32StartupView view;
        std::thread driver([&script] {
            script();
            D::CancelAll();
        });
        console.Run(view);
        driver.join();
    }

    CKeyStore store;
};

TEST(ConsoleResources, StringTableAndDialogTemplatesHoldWhatTheBehaviourUses)
{
    for (int id = IDS_ABOUTBOX; id <= IDS_PASSWORD_MISMATCH; ++id) {
        const wchar_t* text = nullptr;
        const int length =
            LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id), reinterpret_cast<wchar_t*>(&text), 0);
        ASSERT_GT(length, 0) << id;
        EXPECT_EQ(Platform::Narrow(std::wstring_view(text, static_cast<size_t>(length))), LoadConsoleString(id)) << id;
    }
    // A store of another machine is restored on Windows by importing a sealed export; there is
    // no machine-id file to put back.
    const wchar_t* foreign = nullptr;
    const int foreignLength = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(IDS_FOREIGN_STORE),
                                          reinterpret_cast<wchar_t*>(&foreign), 0);
    const std::string foreignText = Platform::Narrow(std::wstring_view(foreign, static_cast<size_t>(foreignLength)));
    EXPECT_NE(foreignText.find("corvane-admin import"), std::string::npos) << foreignText;
    EXPECT_EQ(foreignText.find("machine-id"), std::string::npos) << foreignText;
    struct Template
    {
        int id;
        const char* caption;
        std::vector<int> controls;
    };
    const Template templates[] = {
        {100, "Halvardのﾊﾞｰｼﾞｮﾝ情報", {1}},
        {101, kMainCaption, {1, 2, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008}},
        {102, "キー登録", {1, 2, 1005}},
        {130, "ポート番号入力", {1, 2, 1006}},
        {132, "連携許可設定", {1, 2, 1009, 1010, 1011, 1012}},
        {133, "キーのコピー", {1, 2, 1006, 1009, 1010}},
    };
    for (const Template& t : templates) {
        const HWND dialog = CreateDialogParamW(
            GetModuleHandleW(nullptr), MAKEINTRESOURCEW(t.id), nullptr,
            [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
        ASSERT_NE(dialog, nullptr) << t.id;
        wchar_t caption[128] = {};
        GetWindowTextW(dialog, caption, 128);
        EXPECT_EQ(Platform::Narrow(caption), t.caption);
        for (const int control : t.controls) {
            EXPECT_NE(GetDlgItem(dialog, control), nullptr) << t.id << " " << control;
        }
        DestroyWindow(dialog);
    }
}

TEST(ConsoleStartup, AdministratorsAreAdmittedAndOneConsoleRunsAtATime)
{
    CKeyStore store;
    // The token of a Wine process lists the administrators group.
    EXPECT_TRUE(IsStoreAdministrator(store));
    CSingleInstanceLock first(CConsoleApp::kInstanceLockName);
    ASSERT_EQ(first.Acquire(), ELockOutcome::Acquired);
    CSingleInstanceLock second(CConsoleApp::kInstanceLockName);
    EXPECT_EQ(second.Acquire(), ELockOutcome::HeldElsewhere);
}

TEST_F(ConsoleWindows, MainDialogListsDeletesAndFollowsTheStore)
{
    ASSERT_EQ(store.StoreKey(Record("00A0B0C0D0E1", 1)), 1);
    ASSERT_EQ(store.StoreKey(Record("00A0B0C0D0E0", 2)), 1);
    RunConsole([this] {
        const HWND main = D::WaitForDialog(kMainCaption);
        ASSERT_NE(main, nullptr);
        const HWND list = GetDlgItem(main, 1001);
        EXPECT_EQ(D::ListItems(list), (std::vector<std::string>{"00A0B0C0D0E0", "00A0B0C0D0E1"}));
        EXPECT_EQ(D::Text(main, 1004), "51056");
        EXPECT_EQ(D::Text(main, 1006), "許可しない");
        EXPECT_TRUE(D::SaveScreenshot(main, Screenshot("main")));

        D::Click(main, 1003);
        ExpectMessage(IDS_NOTHING_SELECTED, true, {IDOK});
        D::Click(main, 1008);
        ExpectMessage(IDS_NOTHING_SELECTED, true, {IDOK});

        // Another program registers a unit: the list shows it about a second later. Its ID is
        // longer than a path, as the store allows, and is still deleted whole.
        ASSERT_EQ(store.StoreKey(Record("00A0B0C0D0E2" + std::string(300, 'F'), 3)), 1);
        for (int i = 0; i < 50 && D::ListItems(list).size() < 3; ++i) {
            Sleep(100);
        }
        EXPECT_EQ(D::ListItems(list).size(), 3u);

        D::SelectListItems(list, {0, 2});
        D::Click(main, 1003);
        ExpectMessage(IDS_DELETE_CONFIRM, false, {IDYES, IDNO}, IDNO);
        EXPECT_EQ(D::ListItems(list).size(), 3u);
        D::SelectListItems(list, {0, 2});
        D::Click(main, 1003);
        ExpectMessage(IDS_DELETE_CONFIRM, false, {IDYES, IDNO}, IDYES);
        ExpectMessage(IDS_DELETE_DONE, false, {IDOK});
        EXPECT_EQ(D::ListItems(list), (std::vector<std::string>{"00A0B0C0D0E1"}));

        PostMessageW(main, WM_SYSCOMMAND, CMainDialog::kAboutCommand, 0);
        const HWND about = D::WaitForDialog("Halvardのﾊﾞｰｼﾞｮﾝ情報");
        ASSERT_NE(about, nullptr);
        EXPECT_TRUE(D::SaveScreenshot(about, Screenshot("about")));
        D::Click(about, IDOK);
        EXPECT_TRUE(D::WaitUntilGone(about));

        D::Click(main, IDCANCEL);
        EXPECT_TRUE(D::WaitUntilGone(main));
    });
    std::map<std::string, CKeyRecord> keys;
    ASSERT_EQ(store.ReadKeyList(keys), 1);
    EXPECT_EQ(keys.size(), 1u);
}

TEST_F(ConsoleWindows, PortAndCooperationDialogsCheckTheirInput)
{
    RunConsole([] {
        const HWND main = D::WaitForDialog(kMainCaption);
        ASSERT_NE(main, nullptr);

        D::Click(main, 1005);
        const HWND port = D::WaitForDialog("ポート番号入力");
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(D::Text(port, 1006), "");
        EXPECT_TRUE(D::SaveScreenshot(port, Screenshot("port")));
        const std::pair<const char*, EStringId> refused[] = {
            {"", IDS_PORT_EMPTY}, {"0", IDS_PORT_INVALID}, {"65536", IDS_PORT_INVALID}, {"051057", IDS_PORT_INVALID}};
        for (const auto& [text, message] : refused) {
            D::SetText(port, 1006, text);
            D::Click(port, IDOK);
            ExpectMessage(message, true, {IDOK});
        }
        D::SetText(port, 1006, "51057");
        D::Click(port, IDOK);
        EXPECT_TRUE(D::WaitUntilGone(port));
        EXPECT_EQ(D::Text(main, 1004), "51057");

        D::Click(main, 1007);
        const HWND cooperation = D::WaitForDialog("連携許可設定");
        ASSERT_NE(cooperation, nullptr);
        EXPECT_TRUE(D::IsChecked(cooperation, 1011));
        EXPECT_TRUE(D::SaveScreenshot(cooperation, Screenshot("cooperation")));
        D::Click(cooperation, 1010);
        D::SetText(cooperation, 1009, "abc");
        D::SetText(cooperation, 1012, "abd");
        D::Click(cooperation, IDOK);
        ExpectMessage(IDS_PASSWORD_MISMATCH, true, {IDOK});
        EXPECT_FALSE(D::IsChecked(cooperation, 1011)); // one group: choosing 1010 cleared 1011
        D::SetText(cooperation, 1012, "abc");
        D::Click(cooperation, IDOK);
        EXPECT_TRUE(D::WaitUntilGone(cooperation));
        EXPECT_EQ(D::Text(main, 1006), "許可する");

        D::Click(main, IDCANCEL);
        EXPECT_TRUE(D::WaitUntilGone(main));
    });
    EXPECT_EQ(store.GetPortText(), "51057");
    EXPECT_EQ(store.ReadPassword(), "abc");
}

TEST_F(ConsoleWindows, RegisterFromAMappedDriveAndCopyToAKeyServer)
{
    // R: is mapped to an empty folder of the build tree by the test's set-up.
    ASSERT_NE(GetFileAttributesW(L"R:\\"), INVALID_FILE_ATTRIBUTES) << "R: is not mapped to a folder";
    CreateDirectoryW(L"R:\\dont_delete_00A0B0C0D0E5", nullptr);
    std::ofstream(std::filesystem::path(L"R:\\dont_delete_00A0B0C0D0E5\\00A0B0C0D0E5"), std::ios::binary)
        << std::string(32, 'k');
    RunConsole([] {
        const HWND main = D::WaitForDialog(kMainCaption);
        ASSERT_NE(main, nullptr);

        D::Click(main, 1002);
        const HWND registration = D::WaitForDialog("キー登録");
        ASSERT_NE(registration, nullptr);
        const HWND combo = GetDlgItem(registration, 1005);
        const std::vector<std::string> sticks = D::ComboItems(combo);
        const auto stick = std::find(sticks.begin(), sticks.end(), "R:\\00A0B0C0D0E5");
        ASSERT_NE(stick, sticks.end());
        D::SelectComboItem(combo, static_cast<int>(stick - sticks.begin()));
        EXPECT_TRUE(D::SaveScreenshot(registration, Screenshot("register")));
        D::Click(registration, IDOK);
        ExpectMessage(IDS_REGISTER_DONE, false, {IDOK});
        EXPECT_TRUE(D::WaitUntilGone(registration));
        EXPECT_EQ(D::ListItems(GetDlgItem(main, 1001)), (std::vector<std::string>{"00A0B0C0D0E5"}));

        D::SelectListItems(GetDlgItem(main, 1001), {0});
        D::Click(main, 1008);
        const HWND copy = D::WaitForDialog("キーのコピー");
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(D::Text(copy, 1006), "51056");
        D::SetText(copy, 1010, "127.0.0.1");
        // Nothing listens on the port (the copy target's, one above).
        const int target = CopyTargetPort();
        D::SetText(copy, 1006, std::to_string((target != 0 ? target : COPY_TARGET_PORT) + 1));
        D::SetText(copy, 1009, COPY_TARGET_PASSWORD);
        EXPECT_TRUE(D::SaveScreenshot(copy, Screenshot("copy")));
        D::Click(copy, IDOK);
        ExpectMessage(IDS_COPY_NO_CONNECTION, true, {IDOK});
        if (target != 0) {
            D::SetText(copy, 1006, std::to_string(target));
            D::SetText(copy, 1009, "wrong");
            D::Click(copy, IDOK);
            ExpectMessage(IDS_COPY_FAILED, true, {IDOK});
            D::SetText(copy, 1009, COPY_TARGET_PASSWORD);
            D::Click(copy, IDOK);
            ExpectMessage(IDS_COPY_DONE, false, {IDOK});
            EXPECT_TRUE(D::WaitUntilGone(copy));
        } else {
            D::Click(copy, IDCANCEL);
        }
        D::Click(main, IDCANCEL);
        EXPECT_TRUE(D::WaitUntilGone(main));
    });
    const int target = CopyTargetPort();
    if (target == 0) {
        GTEST_SKIP() << "no Linux key service to copy to (build the default preset first)";
    }
    // The key arrived at the other server: fetched back, it is the one on the stick.
    CConsoleTasks tasks(store);
    const SFetchResult fetched =
        FetchKeys({"00A0B0C0D0E5"}, {"127.0.0.1", std::to_string(target), COPY_TARGET_PASSWORD});
    ASSERT_EQ(fetched.outcome, ECopyOutcome::Done);
    ASSERT_EQ(fetched.keys.size(), 1u);
    std::map<std::string, CKeyRecord> keys;
    ASSERT_EQ(store.ReadKeyList(keys), 1);
    EXPECT_EQ(fetched.keys[0].GetKey().View(), keys.at("00A0B0C0D0E5").GetKey().View());
}

} // namespace
