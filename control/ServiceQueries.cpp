#include "ServiceQueries.h"

#include "control/CServiceManager.h"

uint32_t QueryServiceState(CServiceManager& manager)
{
    uint32_t state = 0;
    if (!manager.Open() || manager.OpenExisting() != 0 || !manager.QueryStatus(state)) {
        return 0;
    }
    return state;
}
