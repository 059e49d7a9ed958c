#include "service/CControlDispatcher.h"

#include <initializer_list>
#include <pthread.h>
#include <signal.h>

namespace {

struct DispatchTarget
{
    CControlDispatcher::Handler handler;
    void* context;
};

sigset_t ControlSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signalNumber : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2, SIGHUP}) {
        sigaddset(&signals, signalNumber);
    }
    return signals;
}

} // namespace

void CControlDispatcher::BlockControlSignals()
{
    const sigset_t signals = ControlSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

uint32_t CControlDispatcher::ControlFor(int signalNumber)
{
    switch (signalNumber) {
    case SIGTERM:
    case SIGINT:
        return kServiceControlStop;
    case SIGUSR1:
        return kServiceControlPause;
    case SIGUSR2:
        return kServiceControlContinue;
    case SIGHUP:
        return kServiceControlInterrogate;
    default:
        return 0;
    }
}

bool CControlDispatcher::Start(Handler handler, void* context)
{
    // Lives as long as the process, like the thread that uses it.
    static DispatchTarget target;
    target = DispatchTarget{handler, context};
    pthread_t thread;
    const auto run = [](void* argument) -> void* {
        const auto* dispatch = static_cast<const DispatchTarget*>(argument);
        const sigset_t signals = ControlSignals();
        for (;;) {
            int signalNumber = 0;
            if (sigwait(&signals, &signalNumber) != 0) {
                continue;
            }
            const uint32_t control = ControlFor(signalNumber);
            if (control != 0) {
                dispatch->handler(control, 0, nullptr, dispatch->context);
            }
        }
        return nullptr;
    };
    if (pthread_create(&thread, nullptr, run, &target) != 0) {
        return false;
    }
    pthread_detach(thread);
    return true;
}
