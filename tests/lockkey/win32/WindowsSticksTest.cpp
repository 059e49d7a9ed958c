// Lock-key sticks on Windows: the USB identity parsed from the device ID that the device
// manager gives a disk's parent, matched to drives by disk number through the device seam,
// and the drive scan on a real drive letter that the test maps to a folder.
#include "console/lockkey/CLockKeyScanner.h"
#include "console/lockkey/CUsbDiskList.h"
#include "console/lockkey/win32/CLogicalDriveTable.h"
#include "console/lockkey/win32/CSetupDiDeviceSource.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>

namespace {

TEST(UsbDeviceId, VendorProductAndInstanceAsTheIdentityBindsThem)
{
    struct Case
    {
        const char* deviceId;
        const char* identity; // nullptr: no USB identity
    };
    const Case cases[] = {
        {"USB\\VID_1234&PID_5678\\0011AABB", "123456780011AABB"},
        {"USB\\VID_0ABC&PID_00EF\\ab0012", "0ABC00EFAB0012"},
        // An instance Windows made up: it is what the stick's key is bound to there.
        {"USB\\VID_0781&PID_5567\\6&2A3B4C5D&0&1", "078155676&2A3B4C5D&0&1"},
        // The interface of a composite device: the five characters after the product digits go.
        {"USB\\VID_1234&PID_5678&MI_00\\7&1A&0&0000", "12345678MI_00\\7&1A&0&0000"},
        {"USBSTOR\\DISK&VEN_X&PROD_Y\\1234", nullptr},
        {"USB\\VID_12G4&PID_5678\\1", nullptr},
        {"USB\\VID_1234&PID_56", nullptr},
    };
    for (const Case& c : cases) {
        const auto usb = CSetupDiDeviceSource::ParseUsbDeviceId(c.deviceId);
        ASSERT_EQ(usb.has_value(), c.identity != nullptr) << c.deviceId;
        if (usb) {
            CUsbDiskInfo disk;
            disk.vendorId = usb->vendorId;
            disk.productId = usb->productId;
            disk.serial = usb->serial.value_or("");
            EXPECT_EQ(disk.IdentityText(), c.identity) << c.deviceId;
        }
    }
}

// Disks and drives as a test gives them, numbered as the storage stack numbers them.
class CScriptedDisks : public CUsbDeviceSource, public CDriveTable
{
public:
    std::vector<CDiskInterface> disks;
    std::map<std::string, uint32_t> diskNumbers;
    std::vector<CDriveMount> drives;

    void AddDisk(const std::string& path, const char* parentId, uint32_t number)
    {
        CDiskInterface disk;
        disk.interfacePath = path;
        disk.massStorage = path.find(CSetupDiDeviceSource::kMassStorageMark) != std::string::npos;
        if (parentId != nullptr) {
            disk.usbDevice = CSetupDiDeviceSource::ParseUsbDeviceId(parentId);
        }
        disks.push_back(disk);
        diskNumbers[path] = number;
    }
    void AddDrive(char letter, uint32_t number)
    {
        drives.push_back({letter, std::string(1, letter) + ":\\", {0, number}});
    }

    std::optional<std::vector<CDiskInterface>> ReadDisks() const override { return disks; }
    std::optional<CBlockDevice> DeviceOfInterface(const std::string& path) const override
    {
        const auto found = diskNumbers.find(path);
        return found == diskNumbers.end() ? std::nullopt : std::optional<CBlockDevice>(CBlockDevice{0, found->second});
    }
    std::optional<CBlockDevice> WholeDiskOf(CBlockDevice device) const override { return device; }
    std::vector<CDriveMount> ReadDrives() const override { return drives; }
};

TEST(UsbDeviceId, DrivesMatchTheirUsbDiskByDiskNumber)
{
    CScriptedDisks system;
    system.AddDisk("\\\\?\\ide#diskst3500#5&1&0&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", nullptr, 0);
    system.AddDisk("\\\\?\\usbstor#disk&ven_a&prod_b#0011aabb&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}",
                   "USB\\VID_1234&PID_5678\\0011AABB", 2);
    system.AddDisk("\\\\?\\usbstor#disk&ven_a&prod_b#0011aabc&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}",
                   "USB\\VID_1234&PID_5678\\0011AABC", 3);
    system.AddDrive('C', 0);
    system.AddDrive('E', 2);
    system.AddDrive('F', 2); // the second partition of the same stick
    system.AddDrive('G', 3);
    system.AddDrive('H', 0xFFFFFFFFu); // a folder mapped to a letter: on no disk
    const CStorageSystem storage(system, system);
    const std::pair<char, const char*> expected[] = {
        {'C', ""}, {'E', "123456780011AABB"}, {'F', "123456780011AABB"}, {'G', "123456780011AABC"}, {'H', ""},
    };
    for (const auto& [letter, identity] : expected) {
        EXPECT_EQ(CUsbDiskList::GetUsbDeviceId(letter, storage), std::optional<std::string>(identity)) << letter;
    }
}

void WriteFile(const std::wstring& path, const std::string& bytes)
{
    std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
}

TEST(DriveScan, FindsAndReadsLockKeysOnAMappedDriveLetter)
{
    // The test's set-up maps Q: to an empty folder of the build tree (a link in the Wine
    // prefix's dosdevices); Windows has no USB disk there either.
    ASSERT_NE(GetFileAttributesW(L"Q:\\"), INVALID_FILE_ATTRIBUTES) << "Q: is not mapped to a folder";
    CreateDirectoryW(L"Q:\\dont_delete_00a0b0c0d0e0", nullptr);
    // The first 32 bytes bound to the ID alone (no USB disk holds a mapped folder), then more.
    std::string bound(40, '\0');
    const std::string id = "00A0B0C0D0E0";
    for (size_t i = 0; i < bound.size(); ++i) {
        bound[i] = static_cast<char>(i + static_cast<unsigned char>(id[i % id.size()]));
    }
    WriteFile(L"Q:\\dont_delete_00a0b0c0d0e0\\00a0b0c0d0e0", bound);
    CreateDirectoryW(L"Q:\\DONT_DELETE_00A0B0C0D0E1", nullptr);
    WriteFile(L"Q:\\DONT_DELETE_00A0B0C0D0E1\\00A0B0C0D0E1", std::string(32, 'k'));
    CreateDirectoryW(L"Q:\\dont_delete_00A0B0C0D0E2", nullptr); // no key file inside
    CreateDirectoryW(L"Q:\\dont_delete_00A0B0C0D0E3", nullptr);
    WriteFile(L"Q:\\dont_delete_00A0B0C0D0E3\\00A0B0C0D0E3", std::string(31, 'k'));

    CLockKeyScanner scanner;
    scanner.Scan();
    std::vector<std::string> shown;
    const CLockKeyEntry* registrable = nullptr;
    for (size_t i = 0; i < scanner.GetCount(); ++i) {
        if (scanner.GetEntry(i).GetDriveLetter() == "Q" || scanner.GetEntry(i).GetPath().rfind("Q:\\", 0) == 0) {
            shown.push_back(scanner.GetDisplayText(i));
            if (scanner.GetEntry(i).GetId() == id) {
                registrable = &scanner.GetEntry(i);
            }
        }
    }
    // The search ignores letter case, the prefix test does not; a folder without its key
    // file is no lock key. The entries come in the directory's order, which the file system
    // under the mapped folder picks.
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (std::vector<std::string>{"Q:\\", "Q:\\00A0B0C0D0E0", "Q:\\00A0B0C0D0E3"}));
    ASSERT_NE(registrable, nullptr);
    EXPECT_EQ(registrable->GetDeviceId(), "");
    const SLockKeyRead read = registrable->ReadKeyChecked();
    ASSERT_EQ(read.fault, ELockKeyFault::None);
    for (size_t i = 0; i < CKeyRecord::kKeyLength; ++i) {
        EXPECT_EQ(read.record.GetKey().Data()[i], static_cast<uint8_t>(i)) << i;
    }

    CLockKeyEntry shortKey;
    shortKey.SetPath("Q:\\dont_delete_00A0B0C0D0E3\\00A0B0C0D0E3");
    EXPECT_EQ(shortKey.ReadKeyChecked().fault, ELockKeyFault::TooShort);
    CLockKeyEntry folderKey;
    folderKey.SetPath("Q:\\dont_delete_00A0B0C0D0E2");
    EXPECT_EQ(folderKey.ReadKeyChecked().fault, ELockKeyFault::NotAFile);
    CLockKeyEntry gone;
    gone.SetPath("Q:\\dont_delete_00A0B0C0D0E4\\00A0B0C0D0E4");
    EXPECT_EQ(gone.ReadKeyChecked().fault, ELockKeyFault::NoKeyFile);

    // The drive table lists the mapped letter at its root.
    const auto mapped = CLogicalDriveTable().FindDrive('Q');
    ASSERT_TRUE(mapped.has_value());
    EXPECT_EQ(mapped->mountPoint, "Q:\\");
}

} // namespace
