#pragma once

#include "console/lockkey/CDriveTable.h"
#include "console/lockkey/CStorageSystem.h"
#include "console/lockkey/CUsbDeviceSource.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// A drive table given by the test; counts how often it is read.
class CTestDriveTable : public CDriveTable
{
public:
    std::vector<CDriveMount> ReadDrives() const override
    {
        ++reads;
        return drives;
    }

    void Add(char letter, const std::filesystem::path& mountPoint, CBlockDevice device = {});
    void Remove(char letter);

    std::vector<CDriveMount> drives;
    mutable int reads = 0;
};

// A device table given by the test: disks with their partitions.
class CTestDeviceSource : public CUsbDeviceSource
{
public:
    struct Disk
    {
        CDiskInterface info;
        std::optional<CBlockDevice> device;
        std::vector<CBlockDevice> partitions;
    };

    std::optional<std::vector<CDiskInterface>> ReadDisks() const override;
    std::optional<CBlockDevice> DeviceOfInterface(const std::string& interfacePath) const override;
    std::optional<CBlockDevice> WholeDiskOf(CBlockDevice device) const override;

    // A USB stick on the mass-storage driver, disk major:minor with the given partitions.
    Disk& AddStick(CBlockDevice disk, std::vector<CBlockDevice> partitions, uint16_t vendor, uint16_t product,
                   std::optional<std::string> serial);
    // A disk that is not attached through the USB mass-storage driver.
    Disk& AddOtherDisk(CBlockDevice disk, std::vector<CBlockDevice> partitions);

    std::vector<Disk> disks;
    bool setFails = false;
};

// A drive table and a device table, and the storage system over them.
struct CTestStorage
{
    CTestDriveTable drives;
    CTestDeviceSource devices;
    CStorageSystem system{drives, devices};
};

// A fresh folder removed with everything in it at the end of the test.
class CTempFolder
{
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // Creates a sub-folder (with its parents) and returns its path.
    std::filesystem::path Folder(const std::string& relative) const;
    // Writes a file (creating its folders) with the given bytes.
    std::filesystem::path File(const std::string& relative, const std::string& bytes) const;

private:
    std::filesystem::path m_path;
};
