#include "console/lockkey/CStorageSystem.h"

#include "console/lockkey/win32/CLogicalDriveTable.h"
#include "console/lockkey/win32/CSetupDiDeviceSource.h"

const CStorageSystem& CStorageSystem::Default()
{
    static const CLogicalDriveTable drives;
    static const CSetupDiDeviceSource devices;
    static const CStorageSystem system(drives, devices);
    return system;
}
