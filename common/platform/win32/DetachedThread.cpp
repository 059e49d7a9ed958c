#include "platform/DetachedThread.h"

#include "platform/win32/Win32.h"

#include <memory>

namespace Platform {

namespace {

DWORD WINAPI RunThread(void* argument)
{
    const std::unique_ptr<std::function<void()>> taken(static_cast<std::function<void()>*>(argument));
    (*taken)();
    return 0;
}

} // namespace

bool StartDetachedThread(size_t stackSize, std::function<void()> run, std::string& reason)
{
    auto start = std::make_unique<std::function<void()>>(std::move(run));
    // The size is the stack's reservation: pages are committed as the thread uses them.
    const HANDLE thread =
        CreateThread(nullptr, stackSize, RunThread, start.get(), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        reason = "error " + std::to_string(GetLastError());
        return false;
    }
    start.release(); // the thread owns it now
    CloseHandle(thread);
    return true;
}

} // namespace Platform
