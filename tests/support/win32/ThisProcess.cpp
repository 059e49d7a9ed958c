#include "ThisProcess.h"

#include "platform/win32/Win32.h"

#include <tlhelp32.h>
#include <winternl.h>

namespace {

// Whether the thread began in ntdll: a thread of the system's thread pool (for registry
// notifications, waits and timers), which comes and goes on its own.
bool IsPoolThread(DWORD threadId, HMODULE ntdll)
{
    using Query = NTSTATUS(NTAPI*)(HANDLE, THREADINFOCLASS, PVOID, ULONG, PULONG);
    static const auto query =
        reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationThread")));
    const HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId);
    if (thread == nullptr || query == nullptr) {
        return false;
    }
    // ThreadQuerySetWin32StartAddress
    void* start = nullptr;
    const bool known = query(thread, static_cast<THREADINFOCLASS>(9), &start, sizeof start, nullptr) >= 0;
    CloseHandle(thread);
    MEMORY_BASIC_INFORMATION region{};
    return known && VirtualQuery(start, &region, sizeof region) != 0 && region.AllocationBase == ntdll;
}

} // namespace

// The threads of this program: the system's pool threads are left out.
long ThreadsOfThisProcess()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const DWORD self = GetCurrentProcessId();
    long count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == self && !IsPoolThread(entry.th32ThreadID, ntdll) ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
}
