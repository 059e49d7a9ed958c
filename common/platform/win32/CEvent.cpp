#include "platform/CEvent.h"

#include "platform/win32/Win32.h"

#include <stdexcept>

namespace Platform {

CEvent::CEvent(bool manualReset, bool initialState)
    : m_fd(CreateEventW(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr)),
      m_manualReset(manualReset)
{
    if (m_fd == nullptr) {
        throw std::runtime_error("CreateEvent failed");
    }
}

CEvent::~CEvent()
{
    CloseHandle(m_fd);
}

void CEvent::Set()
{
    SetEvent(m_fd);
}

void CEvent::Reset()
{
    ResetEvent(m_fd);
}

bool CEvent::TryTake()
{
    // A zero wait takes an auto-reset event and only looks at a manual-reset one.
    return WaitForSingleObject(m_fd, 0) == WAIT_OBJECT_0;
}

bool CEvent::Wait(int timeOut)
{
    return WaitForSingleObject(m_fd, timeOut < 0 ? INFINITE : static_cast<DWORD>(timeOut)) == WAIT_OBJECT_0;
}

} // namespace Platform
