// Drives the installed Ternwick service through the service control manager's API, as
// sc.exe does for start and stop; Wine's sc does nothing for pause and continue.
//   service_control_probe pause|continue|interrogate|stop|state
// Prints the state the service reports after the control (1 stopped ... 7 paused) once it
// is no longer pending (at most 10 s); exit 0, or 1 with the error number on stderr.
#include "platform/win32/Win32.h"

#include <cstdio>
#include <cstring>

namespace {

int Fail(const char* what)
{
    std::fprintf(stderr, "%s: error %lu\n", what, GetLastError());
    return 1;
}

bool Pending(DWORD state)
{
    return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING || state == SERVICE_CONTINUE_PENDING ||
           state == SERVICE_PAUSE_PENDING;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: service_control_probe pause|continue|interrogate|stop|state\n");
        return 2;
    }
    struct
    {
        const char* word;
        DWORD control;
    } const words[] = {{"pause", SERVICE_CONTROL_PAUSE},
                       {"continue", SERVICE_CONTROL_CONTINUE},
                       {"interrogate", SERVICE_CONTROL_INTERROGATE},
                       {"stop", SERVICE_CONTROL_STOP},
                       {"state", 0}};
    DWORD control = ~DWORD{0};
    for (const auto& word : words) {
        if (std::strcmp(argv[1], word.word) == 0) {
            control = word.control;
        }
    }
    if (control == ~DWORD{0}) {
        return 2;
    }
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) {
        return Fail("OpenSCManager");
    }
    SC_HANDLE service = OpenServiceW(manager, L"Ternwick", SERVICE_ALL_ACCESS);
    if (service == nullptr) {
        return Fail("OpenService");
    }
    SERVICE_STATUS status{};
    if (control != 0 && !ControlService(service, control, &status)) {
        return Fail("ControlService");
    }
    for (int i = 0; i < 100; ++i) {
        if (!QueryServiceStatus(service, &status)) {
            return Fail("QueryServiceStatus");
        }
        if (!Pending(status.dwCurrentState)) {
            break;
        }
        Sleep(100);
    }
    std::printf("%lu %lu\n", status.dwCurrentState, status.dwWin32ExitCode);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return 0;
}
