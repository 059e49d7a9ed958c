#include "ProcessEntry.h"

#include "CControlDispatcher.h"
#include "CSystemdStatusReporter.h"
#include "ServiceHost.h"

int RunTernwick()
{
    // Before any thread exists, so that every later thread inherits the blocked set.
    CControlDispatcher::BlockControlSignals();

    // Outlives every thread of the process: never destroyed.
    static auto* context = new ServiceContext;
    static auto* reporter = new CSystemdStatusReporter;
    ServiceMain(*context, *reporter);
    return 0;
}
