#pragma once

#include "console/lockkey/CUsbDeviceSource.h"

#include <optional>
#include <string>
#include <string_view>

// The disks of the computer as the device setup API lists them: the present interfaces of
// the disk class, each with the device ID of its parent (the USB device of a USB storage
// disk) and the disk number the storage stack gives it. The storage stack numbers whole
// disks itself, and a volume's number is that of its disk: a number stands as the minor of
// a block device without major, so that CBlockDevice::Number() gives it back.
class CSetupDiDeviceSource : public CUsbDeviceSource
{
public:
    std::optional<std::vector<CDiskInterface>> ReadDisks() const override;
    std::optional<CBlockDevice> DeviceOfInterface(const std::string& interfacePath) const override;
    std::optional<CBlockDevice> WholeDiskOf(CBlockDevice device) const override { return device; }

    // A disk whose interface path holds this text (case as given) is attached through the USB
    // mass-storage driver.
    static constexpr std::string_view kMassStorageMark = "usbstor";

    // The vendor, product and instance text of a device ID of the form
    // USB\VID_vvvv&PID_pppp\instance: the four characters after the first "VID_" and after the
    // next "PID_" read as hexadecimal, and what follows the product digits and the separator.
    // nullopt for an ID without those parts.
    static std::optional<CUsbDeviceData> ParseUsbDeviceId(std::string_view deviceId);

    // The storage stack's number of the disk that holds a disk or volume path ("\\.\E:");
    // nullopt when the path cannot be opened or asked.
    static std::optional<uint32_t> QueryDiskNumber(const std::string& path);
};
