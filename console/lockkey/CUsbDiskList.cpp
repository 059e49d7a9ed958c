#include "CUsbDiskList.h"

namespace {

// "\\.\L:", the volume of a drive letter.
bool IsVolumePath(const std::string& path)
{
    return path.size() == 6 && path.compare(0, 4, "\\\\.\\") == 0 && path[5] == ':';
}

char UpperLetter(char letter)
{
    return (letter >= 'a' && letter <= 'z') ? static_cast<char>(letter - 'a' + 'A') : letter;
}

} // namespace

void CUsbDiskList::Enumerate()
{
    m_disks.clear();
    const auto disks = m_system->Devices().ReadDisks();
    if (!disks) {
        return;
    }
    for (const CDiskInterface& disk : *disks) {
        if (!disk.massStorage) {
            continue;
        }
        CUsbDiskInfo info;
        info.interfacePath = disk.interfacePath;
        // The disk keeps its own number even when its USB device cannot be read: a stand-in
        // number such as 0 could match another drive's disk and give it a false identity.
        info.deviceNumber = QueryDeviceNumber(disk.interfacePath, *m_system);
        if (!disk.usbDevice) {
            info.instanceKnown = false;
            m_disks.push_back(std::move(info));
            continue;
        }
        const CUsbDeviceData& usb = *disk.usbDevice;
        info.vendorId = usb.vendorId;
        info.productId = usb.productId;
        info.serial = usb.serial.value_or(std::string());
        info.instanceKnown =
            usb.serial.has_value() && usb.interfaceCount <= 1 && CUsbDiskInfo::IsInstanceText(*usb.serial);
        m_disks.push_back(std::move(info));
    }
}

int32_t CUsbDiskList::QueryDeviceNumber(const std::string& path, const CStorageSystem& system)
{
    std::optional<CBlockDevice> device;
    if (IsVolumePath(path)) {
        const auto drive = system.Drives().FindDrive(UpperLetter(path[4]));
        if (drive) {
            device = drive->device;
        }
    } else {
        device = system.Devices().DeviceOfInterface(path);
    }
    if (!device) {
        return -1;
    }
    const auto disk = system.Devices().WholeDiskOf(*device);
    return disk ? disk->Number() : -1;
}

std::optional<std::string> CUsbDiskList::GetUsbDeviceId(char driveLetter, const CStorageSystem& system)
{
    CUsbDiskList list(system);
    list.Enumerate();
    if (list.GetCount() == 0) {
        return std::string();
    }
    const int32_t number = QueryDeviceNumber(std::string("\\\\.\\") + driveLetter + ":", system);
    // A drive whose number is unknown matches nothing, not a disk whose number is unknown too.
    if (number == -1) {
        return std::string();
    }
    for (const CUsbDiskInfo& disk : list.m_disks) {
        if (disk.deviceNumber == number) {
            if (!disk.instanceKnown) {
                return std::nullopt;
            }
            return disk.IdentityText();
        }
    }
    return std::string();
}
