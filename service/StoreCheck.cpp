#include "StoreCheck.h"

#include "settings/CKeyStore.h"
#include "settings/CRegistryKey.h"
#include "settings/StoreMessages.h"

#include <exception>

namespace {

SStoreCheck Refused(std::string reason, int exitCode)
{
    return SStoreCheck{false, "cannot start: " + std::move(reason), exitCode};
}

} // namespace

uint16_t ServicePort(CKeyStore& store)
{
    const uint16_t port = store.ReadPort();
    if (port != 0) {
        return port;
    }
    // Read again to tell a value that is missing or 0 from a store that failed; a "Config"
    // that did not open fails the query too.
    try {
        CRegistryKey config = store.OpenConfigKey();
        unsigned char bytes[4] = {};
        uint32_t length = sizeof bytes;
        const int32_t result = config.QueryValue("PortNo", bytes, &length, nullptr);
        return result == kErrorSuccess || result == kErrorFileNotFound ? CKeyStore::kDefaultPort : uint16_t{0};
    } catch (const std::exception&) {
        return 0;
    }
}

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
    if (ServicePort(store) == 0) {
        return Refused("the port cannot be read from the key store", kExitStoreFailed);
    }
    return SStoreCheck{true, {}, 0};
}
