#pragma once

#include "console/lockkey/CBlockDevice.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the device manager knows of a disk's USB device.
struct CUsbDeviceData
{
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    // The raw serial number string of the device; nullopt when it reports none.
    std::optional<std::string> serial;
    // A device with more than one interface gets a composite parent on Windows, whose
    // instance text is not the serial.
    int interfaceCount = 1;
};

// One disk of the computer, as the device manager lists it.
struct CDiskInterface
{
    std::string interfacePath;
    // Attached through the USB mass-storage driver (usb-storage; a UAS disk is not).
    bool massStorage = false;
    // nullopt when the disk's USB device cannot be read.
    std::optional<CUsbDeviceData> usbDevice;
};

// The device data of the storage stack: the disks present, and which disk holds a block
// device.
class CUsbDeviceSource
{
public:
    virtual ~CUsbDeviceSource() = default;

    // The disks present, in enumeration order; nullopt when the set cannot be built.
    virtual std::optional<std::vector<CDiskInterface>> ReadDisks() const = 0;
    // The block device of a disk named by its interface path.
    virtual std::optional<CBlockDevice> DeviceOfInterface(const std::string& interfacePath) const = 0;
    // The whole disk that holds a block device: the disk itself, or a partition's disk.
    virtual std::optional<CBlockDevice> WholeDiskOf(CBlockDevice device) const = 0;
};
