#include "console/CSingleInstanceLock.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

CSingleInstanceLock::CSingleInstanceLock(std::string name) : m_name(std::move(name)) {}

CSingleInstanceLock::~CSingleInstanceLock()
{
    if (m_handle != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    }
}

// The mutex is never waited on: only its existence matters. Two starts at the same instant
// may both go on, as the creation does not look at whether the name existed.
ELockOutcome CSingleInstanceLock::Acquire()
{
    if (m_handle != -1) {
        return ELockOutcome::Acquired;
    }
    if (IsHeldElsewhere()) {
        return ELockOutcome::HeldElsewhere;
    }
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, Platform::Widen(m_name).c_str());
    if (mutex == nullptr) {
        return ELockOutcome::CreateFailed;
    }
    m_handle = reinterpret_cast<std::intptr_t>(mutex);
    return ELockOutcome::Acquired;
}

bool CSingleInstanceLock::IsHeldElsewhere() const
{
    const HANDLE mutex = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, Platform::Widen(m_name).c_str());
    if (mutex == nullptr) {
        return false;
    }
    CloseHandle(mutex);
    return true;
}
