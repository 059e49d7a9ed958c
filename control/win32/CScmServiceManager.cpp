#include "CScmServiceManager.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <chrono>
#include <thread>

namespace {

// How long a start may stay pending before it counts as failed, and how often it is looked
// at meanwhile.
constexpr auto kStartLimit = std::chrono::seconds(30);
constexpr auto kStartPoll = std::chrono::milliseconds(100);

// A handle of the service control manager or of a service, closed with its owner.
class CServiceHandle
{
public:
    CServiceHandle() = default;
    ~CServiceHandle() { Reset(nullptr); }
    CServiceHandle(const CServiceHandle&) = delete;
    CServiceHandle& operator=(const CServiceHandle&) = delete;

    void Reset(SC_HANDLE handle)
    {
        if (m_handle != nullptr) {
            CloseServiceHandle(m_handle);
        }
        m_handle = handle;
    }
    SC_HANDLE Get() const { return m_handle; }

private:
    SC_HANDLE m_handle = nullptr;
};

} // namespace

struct CScmServiceManager::Handles
{
    CServiceHandle manager;
    CServiceHandle service;
};

CScmServiceManager::CScmServiceManager(std::string serviceName, EAccess access)
    : m_serviceName(std::move(serviceName)), m_access(access), m_handles(std::make_unique<Handles>())
{}

CScmServiceManager::~CScmServiceManager() = default;

bool CScmServiceManager::Open()
{
    const DWORD rights = m_access == EAccess::Change ? SC_MANAGER_CREATE_SERVICE : SC_MANAGER_CONNECT;
    m_handles->manager.Reset(OpenSCManagerW(nullptr, nullptr, rights));
    return m_handles->manager.Get() != nullptr;
}

uint32_t CScmServiceManager::Create(const std::string& displayName, const std::string& executablePath)
{
    const std::wstring name = Platform::Widen(m_serviceName);
    const std::wstring display = Platform::Widen(displayName);
    const std::wstring command = Platform::Widen("\"" + executablePath + "\"");
    m_handles->service.Reset(CreateServiceW(m_handles->manager.Get(), name.c_str(), display.c_str(), SERVICE_ALL_ACCESS,
                                            SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                            command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    return m_handles->service.Get() != nullptr ? 0 : GetLastError();
}

uint32_t CScmServiceManager::OpenExisting()
{
    const std::wstring name = Platform::Widen(m_serviceName);
    const DWORD rights = m_access == EAccess::Change ? SERVICE_ALL_ACCESS : SERVICE_QUERY_STATUS;
    m_handles->service.Reset(OpenServiceW(m_handles->manager.Get(), name.c_str(), rights));
    return m_handles->service.Get() != nullptr ? 0 : GetLastError();
}

bool CScmServiceManager::ChangeDescription(const std::string& description)
{
    std::wstring text = Platform::Widen(description);
    SERVICE_DESCRIPTIONW info{text.data()};
    return ChangeServiceConfig2W(m_handles->service.Get(), SERVICE_CONFIG_DESCRIPTION, &info) != FALSE;
}

bool CScmServiceManager::ChangeFailureActions(uint32_t restartDelayMs)
{
    SC_ACTION restart{SC_ACTION_RESTART, restartDelayMs};
    SERVICE_FAILURE_ACTIONSW actions{};
    actions.dwResetPeriod = INFINITE;
    actions.cActions = 1;
    actions.lpsaActions = &restart;
    return ChangeServiceConfig2W(m_handles->service.Get(), SERVICE_CONFIG_FAILURE_ACTIONS, &actions) != FALSE;
}

bool CScmServiceManager::QueryStatus(uint32_t& state)
{
    SERVICE_STATUS status{};
    if (QueryServiceStatus(m_handles->service.Get(), &status) == FALSE) {
        return false;
    }
    state = status.dwCurrentState;
    return true;
}

std::string CScmServiceManager::CreateAdvice(uint32_t error, const std::string& /*executablePath*/) const
{
    switch (error) {
    case kErrorAccessDenied:
        return "Oxlade must run as an administrator to install the service: choose 'Run as administrator'";
    case ERROR_SERVICE_MARKED_FOR_DELETE:
        return "The previous Ternwick service is still being removed: close the Services window and try again";
    default:
        return {};
    }
}

// A start request succeeds before the service has done anything: it may still stop (its
// port held by another program), so the start is watched until it settles.
uint32_t CScmServiceManager::Start()
{
    const SC_HANDLE service = m_handles->service.Get();
    if (StartServiceW(service, 0, nullptr) == FALSE) {
        return GetLastError();
    }
    const auto limit = std::chrono::steady_clock::now() + kStartLimit;
    SERVICE_STATUS status{};
    while (QueryServiceStatus(service, &status) != FALSE) {
        if (status.dwCurrentState == SERVICE_STOPPED) {
            // A service that stops without a reason of its own ended during its start.
            return status.dwWin32ExitCode != NO_ERROR ? status.dwWin32ExitCode : ERROR_PROCESS_ABORTED;
        }
        if (status.dwCurrentState != SERVICE_START_PENDING) {
            return 0;
        }
        if (std::chrono::steady_clock::now() >= limit) {
            return ERROR_SERVICE_REQUEST_TIMEOUT;
        }
        std::this_thread::sleep_for(kStartPoll);
    }
    return GetLastError();
}

bool CScmServiceManager::Control(uint32_t control)
{
    SERVICE_STATUS status{};
    return ControlService(m_handles->service.Get(), control, &status) != FALSE;
}

bool CScmServiceManager::Delete()
{
    return DeleteService(m_handles->service.Get()) != FALSE;
}
