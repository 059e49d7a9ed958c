#pragma once

#include "console/lockkey/CUsbDeviceSource.h"

// The device data from udev: block disks, their USB interface's driver and the parent
// USB device's idVendor, idProduct and raw serial attributes.
class CUdevDeviceSource : public CUsbDeviceSource
{
public:
    std::optional<std::vector<CDiskInterface>> ReadDisks() const override;
    std::optional<CBlockDevice> DeviceOfInterface(const std::string& interfacePath) const override;
    std::optional<CBlockDevice> WholeDiskOf(CBlockDevice device) const override;
};
