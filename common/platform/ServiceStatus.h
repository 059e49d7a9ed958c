#pragma once

#include <cstdint>

// One status report of the service to its manager: the reported state (1 stopped, 2 start
// pending, 3 stop pending, 4 running, 5 continue pending, 6 pause pending, 7 paused), the
// controls it accepts, the wait hint and the exit code.
struct ServiceStatus
{
    uint32_t currentState = 0;
    uint32_t controlsAccepted = 0;
    uint32_t waitHint = 0;
    uint32_t exitCode = 0;
};

// Reported states.
inline constexpr uint32_t kServiceStopped = 1;
inline constexpr uint32_t kServiceStartPending = 2;
inline constexpr uint32_t kServiceStopPending = 3;
inline constexpr uint32_t kServiceRunning = 4;
inline constexpr uint32_t kServiceContinuePending = 5;
inline constexpr uint32_t kServicePausePending = 6;
inline constexpr uint32_t kServicePaused = 7;

// Controls: stop, pause and continue, shutdown.
inline constexpr uint32_t kServiceAcceptAll = 7;

// The text a manager shows for a reported state ("Running", "Paused", ...); empty for an
// unknown state.
const char* StatusText(uint32_t state);

// The full report for a state: accepted controls and wait hint follow from the state.
ServiceStatus MakeStatus(uint32_t state, uint32_t exitCode);
