#include "settings/PlatformStore.h"

#include "settings/win32/CWin32RegistryStore.h"

CSettingsStore* NewPlatformStore()
{
    return new CWin32RegistryStore();
}
