#include "CScmStatusReporter.h"

#include "platform/win32/Win32.h"

namespace {

std::atomic<SERVICE_STATUS_HANDLE> g_statusHandle{nullptr};

bool IsPending(uint32_t state)
{
    return state == kServiceStartPending || state == kServiceStopPending || state == kServiceContinuePending ||
           state == kServicePausePending;
}

} // namespace

void CScmStatusReporter::SetStatusHandle(void* handle)
{
    g_statusHandle.store(static_cast<SERVICE_STATUS_HANDLE>(handle));
}

bool CScmStatusReporter::Report(const ServiceStatus& status)
{
    const SERVICE_STATUS_HANDLE handle = g_statusHandle.load();
    if (handle == nullptr) {
        return true;
    }
    SERVICE_STATUS report{};
    report.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    report.dwCurrentState = status.currentState;
    report.dwControlsAccepted = status.controlsAccepted;
    // The service's own exit codes are no Win32 error numbers (1 would read "Incorrect
    // function"): they travel as a service-specific code.
    report.dwWin32ExitCode = status.exitCode == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    report.dwServiceSpecificExitCode = status.exitCode;
    // A pending state shows progress by its check point; a settled one has none.
    report.dwCheckPoint = IsPending(status.currentState) ? ++m_checkPoint : (m_checkPoint = 0, 0u);
    report.dwWaitHint = status.waitHint;
    return SetServiceStatus(handle, &report) != FALSE;
}
