#include "ServiceStatus.h"

const char* StatusText(uint32_t state)
{
    switch (state) {
    case kServiceStopped:
        return "Stopped";
    case kServiceStartPending:
        return "Start pending";
    case kServiceStopPending:
        return "Stop pending";
    case kServiceRunning:
        return "Running";
    case kServiceContinuePending:
        return "Continue pending";
    case kServicePausePending:
        return "Pause pending";
    case kServicePaused:
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
    status.controlsAccepted = state == kServiceStartPending ? 0 : kServiceAcceptAll;
    switch (state) {
    case kServiceStartPending:
    case kServiceStopPending:
    case kServiceContinuePending:
    case kServicePausePending:
        status.waitHint = 1000;
        break;
    default:
        status.waitHint = 0;
        break;
    }
    return status;
}
