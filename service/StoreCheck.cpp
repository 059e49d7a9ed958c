#include "StoreCheck.h"

#include "settings/CKeyStore.h"
#include "settings/StoreMessages.h"

namespace {

SStoreCheck Refused(std::string reason, int exitCode)
{
    return SStoreCheck{false, "cannot start: " + std::move(reason), exitCode};
}

} // namespace

SStoreCheck CheckStoreForService()
{
    CKeyStore store;
    const StoreCondition condition = store.Inspect(true);
    switch (condition.problem) {
    case StoreProblem::None:
        break;
    case StoreProblem::ReadOnly:
    case StoreProblem::Failed:
        return Refused(StoreMessages::Describe(condition, true), kExitStoreFailed);
    default:
        return Refused(StoreMessages::Describe(condition, true), kExitStoreRefused);
    }
    if (!store.Prepare()) {
        if (store.CheckMachineIdentity() == CKeyStore::Identity::Foreign) {
            return Refused(StoreMessages::ForeignIdentity(store.Inspect(false).path), kExitStoreRefused);
        }
        StoreCondition after = store.Inspect(true);
        if (after.problem == StoreProblem::None) {
            after.problem = StoreProblem::Failed;
        }
        return Refused(StoreMessages::Describe(after, true), kExitStoreFailed);
    }
    if (store.ReadPort() == 0) {
        return Refused("the port cannot be read from the key store", kExitStoreFailed);
    }
    return SStoreCheck{true, {}, 0};
}
