#include "settings/PlatformStore.h"

#include "platform/StateDirectory.h"
#include "settings/linux/CSqliteStore.h"

CSettingsStore* NewPlatformStore()
{
    return new CSqliteStore(Platform::StateDirectory());
}
