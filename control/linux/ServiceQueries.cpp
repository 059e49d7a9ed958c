#include "control/ServiceQueries.h"

#include "control/linux/CControlSystem.h"

#include <iostream>

uint32_t QueryServiceState(const ControlPaths& paths)
{
    CControlSystem system(paths);
    return QueryServiceState(system.Manager());
}

void FollowServicePort(uint16_t port, const ControlPaths& paths)
{
    CControlSystem system(paths);
    system.Firewall().FollowPort(port, std::cerr);
}
