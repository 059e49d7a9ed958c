#include "OxladeRun.h"

#include "CChildProcess.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <chrono>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>

namespace {

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

} // namespace

SOxladeRun RunOxlade(const std::filesystem::path& program, const std::string& commandLine,
                     const std::vector<std::string>& boxCaptions)
{
    SOxladeRun run;
    std::vector<std::string> argv{Platform::Narrow(program.wstring())};
    std::istringstream words(commandLine);
    for (std::string word; words >> word;) {
        argv.push_back(word);
    }
    Harness::CChildProcess oxlade;
    if (!oxlade.Start(argv, {})) {
        ADD_FAILURE() << "Oxlade.exe did not start: " << GetLastError();
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::optional<int> status;
    while (!(status = oxlade.WaitExit(50)) && std::chrono::steady_clock::now() < deadline) {
        for (const std::string& caption : boxCaptions) {
            SBoxSearch search{static_cast<DWORD>(oxlade.Pid()), Platform::Widen(caption)};
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
    if (status) {
        run.exitCode = static_cast<unsigned long>(*status);
    } else {
        ADD_FAILURE() << "Oxlade.exe " << commandLine << " did not end";
    }
    return run;
}

std::filesystem::path StageOxlade(const std::string& name, const char* service)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path folder =
        std::filesystem::path(temp) / (name + "-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(Platform::Widen(OXLADE_EXE), folder / "Oxlade.exe");
    if (service != nullptr) {
        std::filesystem::copy_file(Platform::Widen(service), folder / "Ternwick.exe");
    }
    return folder / "Oxlade.exe";
}
