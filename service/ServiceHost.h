#pragma once

#include "service/ServiceContext.h"

#include <cstdint>

// The service's life: start, controls, status reports and the stop. ServiceMain starts
// the control dispatcher (the control signals must be blocked in every thread already)
// and returns when the service has stopped; the caller ends the process.
void ServiceMain(ServiceContext& context, CStatusReporter& reporter);

// Control dispatcher entry; always returns 0.
uint32_t ControlHandler(uint32_t control, uint32_t eventType, void* eventData, void* context);

bool ReportStatus(ServiceContext& context, uint32_t state, uint32_t exitCode);

// Sets the state to running and starts the watcher thread; false when it cannot start.
bool StartWorker(ServiceContext& context);
void Pause(ServiceContext& context);
void Continue(ServiceContext& context);
void Stop(ServiceContext& context);

// The request server's listener is open on the port: after the first one the service may
// report running.
void ListenerOpened(ServiceContext& context, uint16_t port);

// The pause gate: returns at once unless paused, else when the service continues or is
// stopping. True when the caller may go on serving (the state is not stop pending).
bool WaitWhilePaused(ServiceContext& context);
