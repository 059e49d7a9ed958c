#include "ServiceQueries.h"

#include "control/CControlSystem.h"

#include <iostream>

uint32_t QueryServiceState(const ControlPaths& paths)
{
    CControlSystem system(paths);
    CServiceManager& manager = system.Manager();
    uint32_t state = 0;
    if (!manager.Open() || manager.OpenExisting() != 0 || !manager.QueryStatus(state)) {
        return 0;
    }
    return state;
}

void FollowServicePort(uint16_t port, const ControlPaths& paths)
{
    CControlSystem system(paths);
    system.Firewall().FollowPort(port, std::cerr);
}
