#include "CHiddenProcessRunner.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

int CHiddenProcessRunner::Run(const std::vector<std::string>& argv, std::string* output)
{
    if (output != nullptr) {
        output->clear();
    }
    std::string commandLine;
    for (const auto& word : argv) {
        commandLine += (commandLine.empty() ? "" : " ") + word;
    }
    // The W call may write into the command line, so it gets a copy of its own.
    std::wstring line = Platform::Widen(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process) ==
        FALSE) {
        return -1;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    const bool read = GetExitCodeProcess(process.hProcess, &exitCode) != FALSE;
    CloseHandle(process.hProcess);
    // An exit code above the int range (an NTSTATUS of a crash) is still not 0.
    return read ? static_cast<int>(exitCode) : -1;
}
