#include "TestStorage.h"
#include "console/lockkey/linux/CMountInfo.h"
#include "console/lockkey/linux/CMountInfoDriveTable.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

TEST(MountInfo, ParsesFieldsAroundOptionalFields)
{
    const std::string text = "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw,errors=continue\n"
                             "37 35 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n"
                             "38 35 8:18 / /media/two rw shared:3 master:4 propagate_from:5 - exfat /dev/sdb2 rw\n";
    const auto entries = CMountInfo::Parse(text);
    ASSERT_EQ(entries.size(), 3u);

    EXPECT_EQ(entries[0].device, (CBlockDevice{98, 0}));
    EXPECT_EQ(entries[0].root, "/mnt1");
    EXPECT_EQ(entries[0].mountPoint, "/mnt/parent");
    EXPECT_EQ(entries[0].fsType, "ext3");
    EXPECT_EQ(entries[0].source, "/dev/root");

    EXPECT_EQ(entries[1].mountPoint, "/media/usb");
    EXPECT_EQ(entries[1].fsType, "vfat");

    EXPECT_EQ(entries[2].device, (CBlockDevice{8, 18}));
    EXPECT_EQ(entries[2].fsType, "exfat");
    EXPECT_EQ(entries[2].source, "/dev/sdb2");
}

TEST(MountInfo, UnescapesOctalEscapes)
{
    struct Case
    {
        const char* field;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/media/USB\\040STICK", "/media/USB STICK"},
        {"/media/a\\011b", "/media/a\tb"},
        {"/media/a\\012b", "/media/a\nb"},
        {"/media/back\\134slash", "/media/back\\slash"},
        {"/media/\\303\\251t\\303\\251", "/media/\xC3\xA9t\xC3\xA9"},
        {"/media/trailing\\04", "/media/trailing\\04"},
        {"/media/not\\08x", "/media/not\\08x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CMountInfo::Unescape(c.field), c.expected) << c.field;
    }

    const auto entries = CMountInfo::Parse("40 1 8:17 / /media/my\\040stick rw - vfat /dev/sdb\\0401 rw\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].mountPoint, "/media/my stick");
    EXPECT_EQ(entries[0].source, "/dev/sdb 1");
}

TEST(MountInfo, SkipsLinesItCannotRead)
{
    const std::string text = "\n"
                             "garbage\n"
                             "1 2 8:x / /bad rw - ext4 /dev/sda rw\n"
                             "1 2 8:1 / /nosep rw ext4 /dev/sda rw\n"
                             "3 4 8:2 / /good rw - ext4 /dev/sda2 rw";
    const auto entries = CMountInfo::Parse(text);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].mountPoint, "/good");
}

CMountInfo::Entry Mount(CBlockDevice device, std::string mountPoint, std::string root = "/")
{
    return {device, std::move(root), std::move(mountPoint), "ext4", "/dev/x"};
}

std::vector<std::pair<char, std::string>> Letters(const std::vector<CDriveMount>& drives)
{
    std::vector<std::pair<char, std::string>> result;
    for (const CDriveMount& drive : drives) {
        result.emplace_back(drive.letter, drive.mountPoint);
    }
    return result;
}

TEST(DriveLetters, AssignedFromTheMountTable)
{
    const struct
    {
        const char* name;
        std::vector<CMountInfo::Entry> mounts;
        std::vector<std::pair<char, std::string>> letters;
        size_t checkedDrive;
        CBlockDevice device; // of the drive at checkedDrive
    } cases[] = {
        {"root is C, other block mounts follow in table order",
         {
             Mount({0, 21}, "/proc"),
             Mount({8, 1}, "/"),
             Mount({0, 23}, "/dev/shm"),
             Mount({8, 2}, "/boot"),
             Mount({8, 17}, "/media/stick"),
             Mount({8, 2}, "/srv/data", "/data"), // bind mount of a folder of /boot's device
             Mount({8, 17}, "/mnt/again"),        // the stick once more
             Mount({8, 1}, "/home"),              // the root device again
             Mount({8, 33}, "/media/other"),
         },
         {{'C', "/"}, {'D', "/boot"}, {'E', "/media/stick"}, {'F', "/media/other"}},
         2,
         {8, 17}},
        // As in a container: the root is an overlay with an anonymous device.
        {"root without a block device is still C",
         {Mount({0, 50}, "/"), Mount({254, 0}, "/etc/hosts", "/containers/x/hosts"), Mount({8, 17}, "/media/stick")},
         {{'C', "/"}, {'D', "/media/stick"}},
         1,
         {8, 17}},
        {"a mount hidden beneath a later one gets no letter",
         {Mount({8, 1}, "/"), Mount({8, 17}, "/media/stick"), Mount({8, 33}, "/media/stick"),
          Mount({8, 49}, "/media/third")},
         {{'C', "/"}, {'D', "/media/stick"}, {'E', "/media/third"}},
         1,
         {8, 33}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto drives = CMountInfoDriveTable::AssignLetters(c.mounts);
        EXPECT_EQ(Letters(drives), c.letters);
        ASSERT_GT(drives.size(), c.checkedDrive);
        EXPECT_EQ(drives[c.checkedDrive].device, c.device);
    }
}

TEST(DriveLetters, LettersEndAtZ)
{
    std::vector<CMountInfo::Entry> mounts = {Mount({8, 1}, "/")};
    for (uint32_t i = 0; i < 30; ++i) {
        mounts.push_back(Mount({7, i}, "/snap/" + std::to_string(i)));
    }
    const auto drives = CMountInfoDriveTable::AssignLetters(mounts);
    ASSERT_EQ(drives.size(), 24u);
    EXPECT_EQ(drives.back().letter, 'Z');
    EXPECT_EQ(drives.back().mountPoint, "/snap/22");
}

TEST(DriveLetters, ReadsTheMountTableFileAfresh)
{
    const CTempFolder temp;
    const auto table = temp.File("mountinfo", "27 1 254:0 / / rw - ext4 /dev/vda rw\n"
                                              "40 27 8:17 / /media/a\\040b rw - vfat /dev/sdb1 rw\n");
    const CMountInfoDriveTable drives(table.string());
    const std::vector<std::pair<char, std::string>> expected = {{'C', "/"}, {'D', "/media/a b"}};
    EXPECT_EQ(Letters(drives.ReadDrives()), expected);

    temp.File("mountinfo", "27 1 254:0 / / rw - ext4 /dev/vda rw\n");
    EXPECT_FALSE(drives.FindDrive('D').has_value());

    const CMountInfoDriveTable missing((temp.Path() / "absent").string());
    EXPECT_TRUE(missing.ReadDrives().empty());
}

TEST(DriveLetters, ThisProcessHasItsRootAsC)
{
    const CMountInfoDriveTable drives;
    const auto c = drives.FindDrive('C');
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->mountPoint, "/");
}

} // namespace
