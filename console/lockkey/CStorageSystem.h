#pragma once

#include "console/lockkey/CDriveTable.h"
#include "console/lockkey/CUsbDeviceSource.h"

// The two platform sources that lock-key reading works over: the drive letters and the
// USB storage devices. Tests build one over their own tables.
class CStorageSystem
{
public:
    CStorageSystem(const CDriveTable& drives, const CUsbDeviceSource& devices) : m_drives(&drives), m_devices(&devices)
    {}

    const CDriveTable& Drives() const { return *m_drives; }
    const CUsbDeviceSource& Devices() const { return *m_devices; }

    // The computer's own: the mount table of this process and udev.
    static const CStorageSystem& Default();

private:
    const CDriveTable* m_drives;
    const CUsbDeviceSource* m_devices;
};
