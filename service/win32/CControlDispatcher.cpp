#include "service/CControlDispatcher.h"

#include "CScmStatusReporter.h"
#include "ServiceRunMode.h"
#include "platform/win32/Win32.h"

#include <csignal>

namespace {

struct DispatchTarget
{
    CControlDispatcher::Handler handler = nullptr;
    void* context = nullptr;
};

DispatchTarget g_target;

DWORD WINAPI ExtendedHandler(DWORD control, DWORD eventType, void* eventData, void* context)
{
    const auto* target = static_cast<const DispatchTarget*>(context);
    return target->handler(control, eventType, eventData, target->context);
}

// Started by hand: Ctrl-C, Ctrl-Break, closing the console and the end of the session stop.
BOOL WINAPI ConsoleHandler(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        g_target.handler(kServiceControlStop, 0, nullptr, g_target.context);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void CControlDispatcher::BlockControlSignals() {}

uint32_t CControlDispatcher::ControlFor(int signalNumber)
{
    return signalNumber == SIGINT || signalNumber == SIGTERM ? kServiceControlStop : 0;
}

bool CControlDispatcher::Start(Handler handler, void* context)
{
    g_target = DispatchTarget{handler, context};
    if (!RunsAsService()) {
        return SetConsoleCtrlHandler(ConsoleHandler, TRUE) != FALSE;
    }
    SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerExW(kServiceName, ExtendedHandler, &g_target);
    CScmStatusReporter::SetStatusHandle(handle);
    return handle != nullptr;
}
