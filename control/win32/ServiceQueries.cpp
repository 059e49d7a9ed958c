#include "control/ServiceQueries.h"

#include "platform/win32/Win32.h"

// The service manager's own answer, with no more rights than reading the state needs: a
// user who is no administrator may see it too.
uint32_t QueryServiceState(const ControlPaths& /*paths*/)
{
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) {
        return 0;
    }
    uint32_t state = 0;
    if (const SC_HANDLE service = OpenServiceW(manager, L"Ternwick", SERVICE_QUERY_STATUS); service != nullptr) {
        SERVICE_STATUS status{};
        if (QueryServiceStatus(service, &status) != FALSE) {
            state = status.dwCurrentState;
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return state;
}

// The firewall rule that "Oxlade install" adds on Windows is the key service program's,
// for any port: a new port needs no change.
void FollowServicePort(uint16_t /*port*/, const ControlPaths& /*paths*/) {}
