#include "CHiddenProcessRunner.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <string>

std::optional<uint32_t> CHiddenProcessRunner::StartAndWait(char* commandLine)
{
    // The W call may write into the command line, so it gets a copy of its own.
    std::wstring line = Platform::Widen(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process) ==
        FALSE) {
        return std::nullopt;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    const bool read = GetExitCodeProcess(process.hProcess, &exitCode) != FALSE;
    CloseHandle(process.hProcess);
    return read ? std::optional<uint32_t>(exitCode) : std::nullopt;
}
