#pragma once

#include <cstdint>

// Controls delivered to the handler.
inline constexpr uint32_t kServiceControlStop = 1;
inline constexpr uint32_t kServiceControlPause = 2;
inline constexpr uint32_t kServiceControlContinue = 3;
inline constexpr uint32_t kServiceControlInterrogate = 4;
inline constexpr uint32_t kServiceControlShutdown = 5;

// Brings the service its controls. Linux: signals on a thread of its own (SIGTERM and
// SIGINT stop, SIGUSR1 pauses, SIGUSR2 continues, SIGHUP interrogates); they must be
// blocked in every thread (BlockControlSignals before the first thread starts) so that
// only this thread's sigwait receives them. Windows: the service control manager's
// dispatcher thread calls the extended control handler registered by Start.
class CControlDispatcher
{
public:
    using Handler = uint32_t (*)(uint32_t control, uint32_t eventType, void* eventData, void* context);

    // Blocks the control signals in the calling thread (and so in threads it starts
    // later) and ignores SIGPIPE: a peer that closes must never end the process.
    static void BlockControlSignals();

    // The control a signal stands for; 0 for any other signal.
    static uint32_t ControlFor(int signalNumber);

    // Starts the dispatcher thread, which runs until the process ends; false when it
    // cannot be started.
    static bool Start(Handler handler, void* context);
};
