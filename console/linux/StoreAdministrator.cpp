#include "console/StoreAdministrator.h"

#include "settings/CKeyStore.h"

bool IsStoreAdministrator(CKeyStore& store)
{
    return store.CanWrite() == 1;
}
