#include "RegistryNotify.h"

#include "CSettingsStore.h"

int32_t NotifyChangeKeyValue(RegistryHandle key, bool watchSubtree, uint32_t filter, Platform::CEvent* event)
{
    return SettingsStore().NotifyChange(key, watchSubtree, filter, event);
}
