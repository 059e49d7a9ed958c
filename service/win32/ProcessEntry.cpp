#include "service/ProcessEntry.h"

#include "CScmStatusReporter.h"
#include "ServiceRunMode.h"
#include "net/CWinsockSession.h"
#include "platform/ServiceStatus.h"
#include "platform/StateDirectory.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"
#include "service/CServiceHost.h"
#include "service/Log.h"
#include "service/StoreCheck.h"
#include "settings/CSettingsStore.h"

#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <io.h>
#include <string>
#include <sys/stat.h>
#include <tlhelp32.h>

namespace {

constexpr int kFinalLogDrainMs = 1000;

bool g_asService = false;
int g_exitCode = 0;

DWORD WINAPI IgnoreControl(DWORD, DWORD, void*, void*)
{
    return NO_ERROR;
}

// Winsock 2.0 for the whole life of the process. A failure is the service's stop with a
// reason in the log, not an exception that ends the process unreported.
bool StartWinsock(CScmStatusReporter& reporter)
{
    try {
        static auto* winsock = new ZiRez::CWinsockSession;
        (void)winsock;
        return true;
    } catch (const std::exception& error) {
        LogLine(std::string("cannot start: ") + error.what());
    }
    DrainLog(kFinalLogDrainMs);
    if (g_asService) {
        CScmStatusReporter::SetStatusHandle(RegisterServiceCtrlHandlerExW(kServiceName, IgnoreControl, nullptr));
        reporter.Report(MakeStatus(kServiceStopped, kExitStoreFailed));
    }
    return false;
}

int RunService()
{
    // Outlives every thread of the process: never destroyed.
    static auto* reporter = new CScmStatusReporter;
    if (!StartWinsock(*reporter)) {
        return kExitStoreFailed;
    }
    SetStoreNoticeSink([](const std::string& notice) { LogLine(notice); });
    const int exitCode = CServiceHost::RunProcess(*reporter, kMaxConnections);
    DrainLog(kFinalLogDrainMs);
    return exitCode;
}

// A service has no standard error: its log goes to Ternwick.log in the state directory
// (C:\ProgramData\Quillon\CorvaneKeyServer, where the tools look too), appended to,
// before the first line is queued.
void OpenServiceLog()
{
    const std::string directory = Platform::StateDirectory();
    if (directory.empty()) {
        return;
    }
    std::error_code ignored;
    const std::filesystem::path folder(Platform::Widen(directory));
    std::filesystem::create_directories(folder, ignored);
    const int log =
        _wopen((folder / L"Ternwick.log").c_str(), _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (log >= 0) {
        _dup2(log, 2);
        _close(log);
    }
}

void WINAPI ServiceEntry(DWORD, wchar_t**)
{
    g_asService = true;
    OpenServiceLog();
    g_exitCode = RunService();
}

// The service control manager starts its services itself (services.exe is the parent).
// Asked first, because a dispatcher that is not expected may wait for it for ever (Wine's
// does) instead of failing with ERROR_FAILED_SERVICE_CONTROLLER_CONNECT.
bool StartedByServiceManager()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return true;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = GetCurrentProcessId();
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && parent == 0; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
        }
    }
    bool manager = false;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == parent) {
            manager = _wcsicmp(entry.szExeFile, L"services.exe") == 0;
            break;
        }
    }
    CloseHandle(snapshot);
    return manager;
}

} // namespace

bool RunsAsService()
{
    return g_asService;
}

int RunTernwick()
{
    wchar_t name[] = L"Ternwick";
    const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceEntry}, {nullptr, nullptr}};
    if (!StartedByServiceManager()) {
        // Started by hand, from a console: the same service in the foreground, logging to
        // standard error; Ctrl-C stops it.
        return RunService();
    }
    if (StartServiceCtrlDispatcherW(table)) {
        return g_exitCode;
    }
    if (GetLastError() != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
        LogLine("cannot connect to the service control manager: error " + std::to_string(GetLastError()));
        return 1;
    }
    // Started by hand, from a console: the same service in the foreground, logging to
    // standard error; Ctrl-C stops it.
    return RunService();
}
