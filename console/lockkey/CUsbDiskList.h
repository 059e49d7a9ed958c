#pragma once

#include "console/lockkey/CStorageSystem.h"
#include "console/lockkey/CUsbDiskInfo.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The USB storage disks present, in enumeration order; built afresh for every lookup.
class CUsbDiskList
{
public:
    explicit CUsbDiskList(const CStorageSystem& system = CStorageSystem::Default()) : m_system(&system) {}

    // Empties the list and fills it with the disks attached through the USB mass-storage
    // driver.
    void Enumerate();

    size_t GetCount() const { return m_disks.size(); }

    // The disk number of a disk (its interface path) or of a volume ("\\.\E:"): the number
    // of the whole disk that holds it; -1 on any failure.
    static int32_t QueryDeviceNumber(const std::string& path, const CStorageSystem& system = CStorageSystem::Default());

    // The identity text of the USB storage disk that holds the drive; empty when the drive
    // lies on none; nullopt when it lies on one whose identity cannot be known here.
    static std::optional<std::string> GetUsbDeviceId(char driveLetter,
                                                     const CStorageSystem& system = CStorageSystem::Default());

private:
    const CStorageSystem* m_system;
    std::vector<CUsbDiskInfo> m_disks;
};
