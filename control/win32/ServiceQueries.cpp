#include "control/ServiceQueries.h"

#include "control/win32/CScmServiceManager.h"

// A user who is no administrator may see the state too.
uint32_t QueryServiceState(const ControlPaths& /*paths*/)
{
    CScmServiceManager manager("Ternwick", CScmServiceManager::EAccess::QueryOnly);
    return QueryServiceState(manager);
}

// The firewall rule that "Oxlade install" adds on Windows is the key service program's,
// for any port: a new port needs no change.
void FollowServicePort(uint16_t /*port*/, const ControlPaths& /*paths*/) {}
