#include "ServiceStatus.h"

const char* StatusText(uint32_t state)
{
    switch (state) {
    case SERVICE_STOPPED:
        return "Stopped";
    case SERVICE_START_PENDING:
        return "Start pending";
    case SERVICE_STOP_PENDING:
        return "Stop pending";
    case SERVICE_RUNNING:
        return "Running";
    case SERVICE_CONTINUE_PENDING:
        return "Continue pending";
    case SERVICE_PAUSE_PENDING:
        return "Pause pending";
    case SERVICE_PAUSED:
        return "Paused";
    default:
        return "";
    }
}

ServiceStatus MakeStatus(uint32_t state, uint32_t exitCode)
{
    ServiceStatus status;
    status.currentState = state;
    status.exitCode = exitCode;
    // Nothing can be controlled while starting; pending states ask for a second's patience.
    status.controlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_ALL;
    switch (state) {
    case SERVICE_START_PENDING:
    case SERVICE_STOP_PENDING:
    case SERVICE_CONTINUE_PENDING:
    case SERVICE_PAUSE_PENDING:
        status.waitHint = 1000;
        break;
    default:
        status.waitHint = 0;
        break;
    }
    return status;
}
