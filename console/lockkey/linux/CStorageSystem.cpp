#include "console/lockkey/CStorageSystem.h"

#include "CMountInfoDriveTable.h"
#include "CUdevDeviceSource.h"

const CStorageSystem& CStorageSystem::Default()
{
    static const CMountInfoDriveTable drives;
    static const CUdevDeviceSource devices;
    static const CStorageSystem system(drives, devices);
    return system;
}
