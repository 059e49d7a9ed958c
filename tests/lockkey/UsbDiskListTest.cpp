#include "TestStorage.h"
#include "console/lockkey/CUsbDiskList.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr CBlockDevice kSystemDisk{254, 0};
constexpr CBlockDevice kSystemPartition{254, 1};
constexpr CBlockDevice kStickDisk{8, 16};
constexpr CBlockDevice kStickFirst{8, 17};
constexpr CBlockDevice kStickSecond{8, 18};

class UsbDiskListTest : public ::testing::Test
{
protected:
    UsbDiskListTest()
    {
        storage.devices.AddOtherDisk(kSystemDisk, {kSystemPartition});
        storage.drives.Add('C', "/", kSystemPartition);
    }

    std::optional<std::string> IdOf(char letter) const { return CUsbDiskList::GetUsbDeviceId(letter, storage.system); }

    CTestStorage storage;
};

// USB\\VID_1234&PID_5678\\0011AABB gives 123456780011AABB: leading zeros kept, hex digits and
// serial upper-cased. A serial Windows would not use, or a composite device, gives no known identity.
TEST_F(UsbDiskListTest, IdentityTextOfAStick)
{
    struct Case
    {
        const char* what;
        uint16_t vendor;
        uint16_t product;
        std::optional<std::string> serial;
        int interfaces;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"plain", 0x1234, 0x5678, "0011AABB", 1, "123456780011AABB"},
        {"leading zeros", 0x0ABC, 0x00EF, "ab0012", 1, "0ABC00EFAB0012"},
        {"one-letter serial", 0x0001, 0x0002, "x", 1, "00010002X"},
        {"punctuation", 0xabcd, 0xef01, "Serial-No.9~", 1, "ABCDEF01SERIAL-NO.9~"},
        {"lowest allowed byte", 0x1234, 0x5678, "A!", 1, "12345678A!"},
        {"DEL is allowed", 0x1234, 0x5678, "A\x7F", 1, "12345678A\x7F"},
        {"no serial", 0x1234, 0x5678, std::nullopt, 1, std::nullopt},
        {"empty serial", 0x1234, 0x5678, "", 1, std::nullopt},
        {"space", 0x1234, 0x5678, "0011 AABB", 1, std::nullopt},
        {"comma", 0x1234, 0x5678, "0011,AABB", 1, std::nullopt},
        {"control byte", 0x1234, 0x5678, "0011\x1F", 1, std::nullopt},
        {"newline", 0x1234, 0x5678, "0011AABB\n", 1, std::nullopt},
        {"byte above 0x7F", 0x1234, 0x5678, "0011\x80", 1, std::nullopt},
        {"UTF-8 letter", 0x1234, 0x5678, "caf\xC3\xA9", 1, std::nullopt},
        {"composite device", 0x1234, 0x5678, "0011AABB", 2, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CTestStorage one;
        auto& stick = one.devices.AddStick(kStickDisk, {kStickFirst}, c.vendor, c.product, c.serial);
        stick.info.usbDevice->interfaceCount = c.interfaces;
        one.drives.Add('E', "/media/e", kStickFirst);
        EXPECT_EQ(CUsbDiskList::GetUsbDeviceId('E', one.system), c.expected);
    }
}

// Partitions of one stick share its identity, sticks of one model differ by serial, and
// drives on no USB mass-storage disk get the empty identity.
TEST_F(UsbDiskListTest, EachDriveGetsTheIdentityOfItsDisk)
{
    storage.devices.AddStick(kStickDisk, {kStickFirst, kStickSecond}, 0x1234, 0x5678, "0011AABB");
    storage.devices.AddStick({8, 32}, {{8, 33}}, 0x1234, 0x5678, "0011AABC");
    // A UAS disk is a USB disk, but not on the mass-storage driver.
    auto& uas = storage.devices.AddOtherDisk({8, 48}, {{8, 49}});
    uas.info.usbDevice = CUsbDeviceData{0x1234, 0x9999, "UAS0001", 1};
    storage.drives.Add('D', "/media/uas", {8, 49});
    storage.drives.Add('E', "/media/first", kStickFirst);
    storage.drives.Add('F', "/media/second", kStickSecond);
    storage.drives.Add('G', "/media/g", {8, 33});
    storage.drives.Add('H', "/run/tmpfs", {0, 40});
    const std::pair<char, std::string> expected[] = {
        {'C', ""}, {'D', ""}, {'E', "123456780011AABB"}, {'F', "123456780011AABB"}, {'G', "123456780011AABC"},
        {'H', ""}, {'Q', ""}, // no such drive
    };
    for (const auto& [letter, id] : expected) {
        EXPECT_EQ(IdOf(letter), id) << letter;
    }
    EXPECT_EQ(CUsbDiskList::QueryDeviceNumber("\\\\.\\E:", storage.system),
              CUsbDiskList::QueryDeviceNumber("\\\\.\\F:", storage.system));
}

TEST_F(UsbDiskListTest, WithoutUsbStorageDisksTheDriveIsNotLookedAt)
{
    storage.drives.reads = 0;
    EXPECT_EQ(IdOf('C'), "");
    EXPECT_EQ(storage.drives.reads, 0);

    storage.devices.setFails = true;
    storage.devices.AddStick(kStickDisk, {kStickFirst}, 0x1234, 0x5678, "0011AABB");
    storage.drives.Add('E', "/media/e", kStickFirst);
    storage.drives.reads = 0;
    EXPECT_EQ(IdOf('E'), "");
    EXPECT_EQ(storage.drives.reads, 0);
}

TEST_F(UsbDiskListTest, UnreadableUsbDeviceKeepsItsNumberAndHasNoKnownIdentity)
{
    auto& stick = storage.devices.AddStick(kStickDisk, {kStickFirst}, 0x1234, 0x5678, "0011AABB");
    stick.info.usbDevice.reset();
    storage.drives.Add('E', "/media/e", kStickFirst);

    CUsbDiskList list(storage.system);
    list.Enumerate();
    ASSERT_EQ(list.GetCount(), 1u);
    // Matched by its own number: a stand-in number would leave the drive on no stick ("").
    EXPECT_EQ(IdOf('E'), std::nullopt);
    EXPECT_EQ(IdOf('C'), "");
}

TEST_F(UsbDiskListTest, UnknownNumbersMatchNothing)
{
    // The stick's own number cannot be obtained, nor the drive's: no match on -1.
    auto& stick = storage.devices.AddStick(kStickDisk, {kStickFirst}, 0x1234, 0x5678, "0011AABB");
    stick.device.reset();
    storage.drives.Add('E', "/media/e", kStickFirst);
    CUsbDiskList list(storage.system);
    list.Enumerate();
    ASSERT_EQ(list.GetCount(), 1u);
    EXPECT_EQ(CUsbDiskList::QueryDeviceNumber(stick.info.interfacePath, storage.system), -1);
    EXPECT_EQ(CUsbDiskList::QueryDeviceNumber("\\\\.\\E:", storage.system), -1);
    EXPECT_EQ(IdOf('E'), "");
}

TEST_F(UsbDiskListTest, EnumerateKeepsMassStorageDisksEachWithItsOwnIdentity)
{
    storage.devices.AddStick({8, 32}, {{8, 33}}, 0x0781, 0x5567, "FIRST");
    storage.devices.AddOtherDisk({8, 0}, {{8, 1}});
    storage.devices.AddStick({8, 16}, {{8, 17}}, 0x0951, 0x1666, "SECOND");
    storage.drives.Add('F', "/media/f", {8, 33});
    storage.drives.Add('G', "/media/g", {8, 1});
    storage.drives.Add('H', "/media/h", {8, 17});

    CUsbDiskList list(storage.system);
    list.Enumerate();
    ASSERT_EQ(list.GetCount(), 2u);
    EXPECT_EQ(IdOf('F'), "07815567FIRST");
    EXPECT_EQ(IdOf('G'), "");
    EXPECT_EQ(IdOf('H'), "09511666SECOND");

    // A second enumeration starts afresh.
    storage.devices.disks.pop_back();
    list.Enumerate();
    EXPECT_EQ(list.GetCount(), 1u);

    storage.devices.setFails = true;
    list.Enumerate();
    EXPECT_EQ(list.GetCount(), 0u);
}

TEST_F(UsbDiskListTest, QueryDeviceNumberOfVolumesAndInterfaces)
{
    auto& stick = storage.devices.AddStick(kStickDisk, {kStickFirst}, 0x1234, 0x5678, "0011AABB");
    storage.drives.Add('E', "/media/e", kStickFirst);
    const int32_t stickNumber = kStickDisk.Number();
    ASSERT_NE(stickNumber, -1);
    EXPECT_NE(stickNumber, kSystemDisk.Number());

    EXPECT_EQ(CUsbDiskList::QueryDeviceNumber(stick.info.interfacePath, storage.system), stickNumber);
    EXPECT_EQ(CUsbDiskList::QueryDeviceNumber("\\\\.\\E:", storage.system), stickNumber);
    EXPECT_EQ(CUsbDiskList::QueryDeviceNumber("\\\\.\\e:", storage.system), stickNumber);
    EXPECT_EQ(CUsbDiskList::QueryDeviceNumber("\\\\.\\C:", storage.system), kSystemDisk.Number());
    EXPECT_EQ(CUsbDiskList::QueryDeviceNumber("\\\\.\\X:", storage.system), -1);
    EXPECT_EQ(CUsbDiskList::QueryDeviceNumber("/sys/devices/none", storage.system), -1);
    EXPECT_EQ(CUsbDiskList::QueryDeviceNumber("", storage.system), -1);
}

TEST(BlockDevice, NumbersFitASigned32BitDiskNumber)
{
    EXPECT_NE((CBlockDevice{8, 16}.Number()), (CBlockDevice{8, 17}.Number()));
    EXPECT_NE((CBlockDevice{259, 0}.Number()), (CBlockDevice{8, 0}.Number()));
    EXPECT_EQ((CBlockDevice{2047, 1048575}.Number()), 2147483647);
    EXPECT_EQ((CBlockDevice{2048, 0}.Number()), -1);
    EXPECT_EQ((CBlockDevice{8, 1048576}.Number()), -1);
}

} // namespace
