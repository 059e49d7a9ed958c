#include "CScmServiceManager.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

namespace {

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

uint32_t CScmServiceManager::Start()
{
    return StartServiceW(m_handles->service.Get(), 0, nullptr) != FALSE ? 0 : GetLastError();
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
