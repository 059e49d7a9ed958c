#include "TestStorage.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

void CTestDriveTable::Add(char letter, const std::filesystem::path& mountPoint, CBlockDevice device)
{
    drives.push_back({letter, mountPoint.string(), device});
    std::sort(drives.begin(), drives.end(),
              [](const CDriveMount& a, const CDriveMount& b) { return a.letter < b.letter; });
}

void CTestDriveTable::Remove(char letter)
{
    std::erase_if(drives, [letter](const CDriveMount& drive) { return drive.letter == letter; });
}

std::optional<std::vector<CDiskInterface>> CTestDeviceSource::ReadDisks() const
{
    if (setFails) {
        return std::nullopt;
    }
    std::vector<CDiskInterface> result;
    for (const Disk& disk : disks) {
        result.push_back(disk.info);
    }
    return result;
}

std::optional<CBlockDevice> CTestDeviceSource::DeviceOfInterface(const std::string& interfacePath) const
{
    for (const Disk& disk : disks) {
        if (disk.info.interfacePath == interfacePath) {
            return disk.device;
        }
    }
    return std::nullopt;
}

std::optional<CBlockDevice> CTestDeviceSource::WholeDiskOf(CBlockDevice device) const
{
    for (const Disk& disk : disks) {
        if (!disk.device) {
            continue;
        }
        if (*disk.device == device ||
            std::find(disk.partitions.begin(), disk.partitions.end(), device) != disk.partitions.end()) {
            return disk.device;
        }
    }
    return std::nullopt;
}

CTestDeviceSource::Disk& CTestDeviceSource::AddStick(CBlockDevice disk, std::vector<CBlockDevice> partitions,
                                                     uint16_t vendor, uint16_t product,
                                                     std::optional<std::string> serial)
{
    Disk& added = AddOtherDisk(disk, std::move(partitions));
    added.info.massStorage = true;
    added.info.usbDevice = CUsbDeviceData{vendor, product, std::move(serial), 1};
    return added;
}

CTestDeviceSource::Disk& CTestDeviceSource::AddOtherDisk(CBlockDevice disk, std::vector<CBlockDevice> partitions)
{
    Disk added;
    added.info.interfacePath =
        "/sys/devices/test/block/disk" + std::to_string(disk.major) + "_" + std::to_string(disk.minor);
    added.device = disk;
    added.partitions = std::move(partitions);
    disks.push_back(std::move(added));
    return disks.back();
}

CTempFolder::CTempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "lockkey-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

CTempFolder::~CTempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::filesystem::path CTempFolder::Folder(const std::string& relative) const
{
    const std::filesystem::path path = m_path / relative;
    std::filesystem::create_directories(path);
    return path;
}

std::filesystem::path CTempFolder::File(const std::string& relative, const std::string& bytes) const
{
    const std::filesystem::path path = m_path / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}
