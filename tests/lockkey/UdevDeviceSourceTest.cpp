#include "CChildProcess.h"
#include "TestStorage.h"
#include "console/lockkey/CUsbDiskList.h"
#include "console/lockkey/linux/CUdevDeviceSource.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <umockdev.h>

extern char** environ;

// These tests read a mocked sysfs through the real libudev. The mock needs its preload
// library in the process from the start, so each test runs itself again under
// umockdev-wrapper and passes when that run passes.
namespace {

bool UnderUmockdev()
{
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

int RunThisTestUnderUmockdev()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
    // The sanitizer runtime would refuse to start behind the preloaded library.
    std::string asan = "verify_asan_link_order=0";
    if (const char* options = std::getenv("ASAN_OPTIONS")) {
        asan = std::string(options) + ":" + asan;
    }
    Harness::CChildProcess::SOptions streams;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "ASAN_OPTIONS=", 13) != 0) {
            streams.environment.emplace_back(*entry);
        }
    }
    streams.environment.push_back("ASAN_OPTIONS=" + asan);
    streams.input.kind = Harness::SChildStream::EKind::Inherit;
    Harness::CChildProcess child;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    if (!child.Start({"umockdev-wrapper", self, filter}, streams)) {
        return -1;
    }
    const std::optional<int> status = child.WaitExit(600000);
    return status ? Harness::CChildProcess::ExitCode(*status) : -1;
}

constexpr const char* kUsb = "/devices/pci0000:00/0000:00:14.0/usb1";

// A USB device with one storage interface on the given driver and one SCSI disk below it.
std::string UsbDisk(const std::string& port, const char* serial, const char* driver, const std::string& disk, int major,
                    int minor, int interfaces = 1)
{
    const std::string device = std::string(kUsb) + "/" + port;
    const std::string interface = device + "/" + port + ":1.0";
    const std::string block = interface + "/host6/target6:0:0/6:0:0:0/block/" + disk;
    std::string text = "P: " + device +
                       "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=1234\n"
                       "A: idProduct=5678\nA: bNumInterfaces= " +
                       std::to_string(interfaces) + "\n";
    if (serial != nullptr) {
        text += std::string("A: serial=") + serial + "\n";
    }
    text += "\nP: " + interface + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=" + driver +
            "\nL: driver=../../../../../bus/usb/drivers/" + driver + "\n\n";
    text += "P: " + block + "\nN: " + disk +
            "\nE: SUBSYSTEM=block\nE: DEVTYPE=disk\nE: MAJOR=" + std::to_string(major) +
            "\nE: MINOR=" + std::to_string(minor) + "\nA: dev=" + std::to_string(major) + ":" + std::to_string(minor) +
            "\n\n";
    return text;
}

std::string Partition(const std::string& diskPath, const std::string& name, int major, int minor)
{
    return "P: " + diskPath + "/" + name + "\nN: " + name +
           "\nE: SUBSYSTEM=block\nE: DEVTYPE=partition\nE: MAJOR=" + std::to_string(major) +
           "\nE: MINOR=" + std::to_string(minor) + "\nA: dev=" + std::to_string(major) + ":" + std::to_string(minor) +
           "\n\n";
}

std::string StickPath(const std::string& port, const std::string& disk)
{
    return std::string(kUsb) + "/" + port + "/" + port + ":1.0/host6/target6:0:0/6:0:0:0/block/" + disk;
}

class UdevDeviceSourceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!UnderUmockdev()) {
            return;
        }
        testbed = umockdev_testbed_new();
        ASSERT_NE(testbed, nullptr);
        const std::string sataDisk = "/devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda";
        const std::string devices =
            UsbDisk("1-2", "0011AABB", "usb-storage", "sdb", 8, 16) +
            Partition(StickPath("1-2", "sdb"), "sdb1", 8, 17) + Partition(StickPath("1-2", "sdb"), "sdb2", 8, 18) +
            UsbDisk("1-3", "UAS0001", "uas", "sdc", 8, 32) + UsbDisk("1-4", "0011 AABB", "usb-storage", "sdd", 8, 48) +
            UsbDisk("1-5", nullptr, "usb-storage", "sde", 8, 64) + "P: " + sataDisk +
            "\nN: sda\nE: SUBSYSTEM=block\nE: DEVTYPE=disk\nE: MAJOR=8\nE: MINOR=0\nA: dev=8:0\n\n" +
            Partition(sataDisk, "sda1", 8, 1);
        GError* error = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_string(testbed, devices.c_str(), &error))
            << (error != nullptr ? error->message : "");
        // Real sysfs links every block device under /sys/dev/block; the mock does not.
        char* root = umockdev_testbed_get_root_dir(testbed);
        const std::filesystem::path links = std::filesystem::path(root) / "sys/dev/block";
        g_free(root);
        std::filesystem::create_directories(links);
        const std::pair<const char*, std::string> numbers[] = {
            {"8:16", StickPath("1-2", "sdb")},
            {"8:17", StickPath("1-2", "sdb") + "/sdb1"},
            {"8:18", StickPath("1-2", "sdb") + "/sdb2"},
            {"8:32", StickPath("1-3", "sdc")},
            {"8:48", StickPath("1-4", "sdd")},
            {"8:64", StickPath("1-5", "sde")},
            {"8:0", sataDisk},
            {"8:1", sataDisk + "/sda1"},
        };
        for (const auto& [number, path] : numbers) {
            std::filesystem::create_symlink("../.." + path, links / number);
        }
    }

    void TearDown() override
    {
        if (testbed != nullptr) {
            g_object_unref(testbed);
        }
    }

    UMockdevTestbed* testbed = nullptr;
    CUdevDeviceSource source;
};

TEST_F(UdevDeviceSourceTest, ListsDisksWithDriverAndUsbDevice)
{
    if (!UnderUmockdev()) {
        EXPECT_EQ(RunThisTestUnderUmockdev(), 0);
        return;
    }
    const auto disks = source.ReadDisks();
    ASSERT_TRUE(disks.has_value());
    ASSERT_EQ(disks->size(), 5u); // partitions are no disks

    auto find = [&](const std::string& path) -> const CDiskInterface* {
        for (const CDiskInterface& disk : *disks) {
            if (disk.interfacePath == "/sys" + path) {
                return &disk;
            }
        }
        return nullptr;
    };
    const CDiskInterface* stick = find(StickPath("1-2", "sdb"));
    ASSERT_NE(stick, nullptr);
    EXPECT_TRUE(stick->massStorage);
    ASSERT_TRUE(stick->usbDevice.has_value());
    EXPECT_EQ(stick->usbDevice->vendorId, 0x1234);
    EXPECT_EQ(stick->usbDevice->productId, 0x5678);
    EXPECT_EQ(stick->usbDevice->serial, "0011AABB");
    EXPECT_EQ(stick->usbDevice->interfaceCount, 1);

    const CDiskInterface* uas = find(StickPath("1-3", "sdc"));
    ASSERT_NE(uas, nullptr);
    EXPECT_FALSE(uas->massStorage);

    const CDiskInterface* spaced = find(StickPath("1-4", "sdd"));
    ASSERT_NE(spaced, nullptr);
    EXPECT_EQ(spaced->usbDevice->serial, "0011 AABB");

    const CDiskInterface* noSerial = find(StickPath("1-5", "sde"));
    ASSERT_NE(noSerial, nullptr);
    EXPECT_EQ(noSerial->usbDevice->serial, std::nullopt);

    const CDiskInterface* sata = find("/devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda");
    ASSERT_NE(sata, nullptr);
    EXPECT_FALSE(sata->massStorage);
    EXPECT_FALSE(sata->usbDevice.has_value());
}

TEST_F(UdevDeviceSourceTest, FindsTheWholeDiskOfAPartition)
{
    if (!UnderUmockdev()) {
        EXPECT_EQ(RunThisTestUnderUmockdev(), 0);
        return;
    }
    EXPECT_EQ(source.WholeDiskOf({8, 17}), (CBlockDevice{8, 16}));
    EXPECT_EQ(source.WholeDiskOf({8, 18}), (CBlockDevice{8, 16}));
    EXPECT_EQ(source.WholeDiskOf({8, 16}), (CBlockDevice{8, 16}));
    EXPECT_EQ(source.WholeDiskOf({8, 1}), (CBlockDevice{8, 0}));
    EXPECT_EQ(source.WholeDiskOf({8, 99}), std::nullopt);
    EXPECT_EQ(source.DeviceOfInterface("/sys" + StickPath("1-2", "sdb")), (CBlockDevice{8, 16}));
    EXPECT_EQ(source.DeviceOfInterface("/sys/devices/none"), std::nullopt);
}

TEST_F(UdevDeviceSourceTest, DrivesGetTheIdentityOfTheirStick)
{
    if (!UnderUmockdev()) {
        EXPECT_EQ(RunThisTestUnderUmockdev(), 0);
        return;
    }
    CTestDriveTable drives;
    drives.Add('C', "/", {8, 1});
    drives.Add('E', "/media/one", {8, 17});
    drives.Add('F', "/media/two", {8, 18});
    drives.Add('G', "/media/uas", {8, 32});
    drives.Add('H', "/media/spaced", {8, 48});
    drives.Add('I', "/media/noserial", {8, 64});
    const CStorageSystem system(drives, source);

    EXPECT_EQ(CUsbDiskList::GetUsbDeviceId('E', system), "123456780011AABB");
    EXPECT_EQ(CUsbDiskList::GetUsbDeviceId('F', system), "123456780011AABB");
    EXPECT_EQ(CUsbDiskList::GetUsbDeviceId('C', system), "");
    EXPECT_EQ(CUsbDiskList::GetUsbDeviceId('G', system), "");
    EXPECT_EQ(CUsbDiskList::GetUsbDeviceId('H', system), std::nullopt);
    EXPECT_EQ(CUsbDiskList::GetUsbDeviceId('I', system), std::nullopt);
}

} // namespace
