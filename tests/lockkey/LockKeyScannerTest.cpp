#include "TestStorage.h"
#include "console/lockkey/CLockKeyEntry.h"
#include "console/lockkey/CLockKeyScanner.h"
#include "console/lockkey/linux/CMountInfoDriveTable.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr CBlockDevice kSystemDisk{254, 0};
constexpr CBlockDevice kSystemPartition{254, 1};
constexpr CBlockDevice kStickDisk{8, 16};
constexpr CBlockDevice kStickPartition{8, 17};

std::string Bytes(std::initializer_list<uint8_t> head, size_t size)
{
    std::string bytes(size, '\0');
    std::copy(head.begin(), head.end(), bytes.begin());
    return bytes;
}

class LockKeyScannerTest : public ::testing::Test
{
protected:
    LockKeyScannerTest()
    {
        storage.devices.AddOtherDisk(kSystemDisk, {kSystemPartition});
        storage.drives.Add('C', temp.Folder("c"), kSystemPartition);
    }

    // A drive backed by a plain disk.
    std::filesystem::path AddDrive(char letter)
    {
        const auto root = temp.Folder(std::string(1, letter));
        storage.drives.Add(letter, root, {9, static_cast<uint32_t>(letter)});
        return root;
    }

    std::vector<std::string> DisplayTexts() const
    {
        std::vector<std::string> texts;
        for (size_t i = 0; i < scanner.GetCount(); ++i) {
            texts.push_back(scanner.GetDisplayText(i));
        }
        return texts;
    }

    CTempFolder temp;
    CTestStorage storage;
    CLockKeyScanner scanner{storage.system};
};

// What one scan of drive E: finds, and what the first entry found reads.
TEST_F(LockKeyScannerTest, FindsLockKeysAndDescribesThem)
{
    struct Found
    {
        std::string path;
        std::string id;
        std::string display;
        bool hasKey;
        std::string keyHead; // the key's first bytes
    };
    const std::string upperCaseBytes = Bytes({0x30, 0x31, 0xFF}, 32);
    const std::string folder = "(folder)";
    const struct
    {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files; // contents "(folder)" makes a folder
        std::optional<Found> found;
    } cases[] = {
        {"a lock key",
         {{"dont_delete_00a0b0c0d0e0/00a0b0c0d0e0", Bytes({0x30, 0x31}, 32)}},
         Found{"E:\\dont_delete_00a0b0c0d0e0\\00a0b0c0d0e0", "00A0B0C0D0E0", "E:\\00A0B0C0D0E0", true,
               std::string("\x00\x01", 2)}},
        {"key file in another case",
         {{"dont_delete_00a0b0c0d0e0/00A0B0C0D0E0", Bytes({0x30, 0x31}, 32)}},
         Found{"E:\\dont_delete_00a0b0c0d0e0\\00a0b0c0d0e0", "00A0B0C0D0E0", "E:\\00A0B0C0D0E0", true,
               std::string("\x00\x01", 2)}},
        // Found, but it fails the exact prefix: nothing is subtracted from the file's bytes.
        {"upper-case folder",
         {{"DONT_DELETE_00A0B0C0D0E0/00A0B0C0D0E0", upperCaseBytes}},
         Found{"E:\\DONT_DELETE_00A0B0C0D0E0\\00A0B0C0D0E0", "", "E:\\", true, upperCaseBytes}},
        // The key file's name is the last twelve characters of the folder path.
        {"key file named after the folder's ID alone", {{"dont_delete_ABC/ABC", std::string(32, 'x')}}, std::nullopt},
        {"key file named after the path's last twelve characters",
         {{"dont_delete_ABC/ABC", std::string(32, 'x')}, {"dont_delete_ABC/t_delete_ABC", std::string(32, 'x')}},
         Found{"E:\\dont_delete_ABC\\t_delete_ABC", "T_DELETE_ABC", "E:\\T_DELETE_ABC", true, ""}},
        {"matches without a key file",
         {{"dont_delete_00a0b0c0d0e0", folder},                 // empty key folder
          {"dont_delete_222222222222/other", "x"},              // wrong file inside
          {"dont_delete_333333333333", std::string(40, 'x')},   // a file, not a folder
          {"keep_dont_delete_444444444444/444444444444", "x"}}, // not at the start
         std::nullopt},
        // Folders count as matches, and read as corrupt.
        {"key file that is a folder",
         {{"dont_delete_00a0b0c0d0e0/00a0b0c0d0e0", folder}},
         Found{"E:\\dont_delete_00a0b0c0d0e0\\00a0b0c0d0e0", "00A0B0C0D0E0", "E:\\00A0B0C0D0E0", false, ""}},
        {"nothing attached", {}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.files.empty()) {
            AddDrive('E');
        }
        for (const auto& [path, contents] : c.files) {
            if (contents == folder) {
                temp.Folder("E/" + path);
            } else {
                temp.File("E/" + path, contents);
            }
        }
        scanner.Scan();
        ASSERT_EQ(scanner.GetCount(), c.found ? 1u : 0u);
        if (c.found) {
            const CLockKeyEntry& entry = scanner.GetEntry(0);
            EXPECT_EQ(entry.GetPath(), c.found->path);
            EXPECT_EQ(entry.GetId(), c.found->id);
            EXPECT_EQ(entry.GetDriveLetter(), "E");
            EXPECT_EQ(entry.GetDeviceId(), "");
            EXPECT_EQ(scanner.GetDisplayText(0), c.found->display);
            const CKeyRecord record = entry.ReadKeyChecked().record;
            ASSERT_EQ(record.HasKey(), c.found->hasKey);
            EXPECT_EQ(record.GetKey().View().substr(0, c.found->keyHead.size()), c.found->keyHead);
            EXPECT_EQ(record.GetId(), c.found->hasKey ? c.found->id : "");
        }
        storage.drives.Remove('E');
        std::filesystem::remove_all(temp.Path() / "E");
    }
}

TEST_F(LockKeyScannerTest, ListsDrivesInLetterOrderAndNeverSearchesAOrB)
{
    for (const char letter : {'A', 'B', 'F', 'E', 'Z'}) {
        const std::string id = std::string("00000000000") + letter;
        AddDrive(letter);
        temp.File(std::string(1, letter) + "/dont_delete_" + id + "/" + id, std::string(32, '\0'));
    }
    temp.File("E/dont_delete_111111111111/111111111111", std::string(32, '\0'));

    scanner.Scan();
    std::vector<std::string> texts = DisplayTexts();
    ASSERT_EQ(texts.size(), 4u);
    // Two keys on E: in directory order, then F:, then Z:.
    std::sort(texts.begin(), texts.begin() + 2);
    const std::vector<std::string> expected = {"E:\\00000000000E", "E:\\111111111111", "F:\\00000000000F",
                                               "Z:\\00000000000Z"};
    EXPECT_EQ(texts, expected);

    // A new scan starts from an empty list.
    storage.drives.Remove('E');
    scanner.Scan();
    EXPECT_EQ(scanner.GetCount(), 2u);
}

TEST_F(LockKeyScannerTest, FindsKeysOnMountsWithEscapedPaths)
{
    const auto stick = temp.Folder("USB STICK");
    temp.File("USB STICK/dont_delete_00a0b0c0d0e0/00a0b0c0d0e0", Bytes({0x30, 0x31}, 32));
    std::string escaped = stick.string();
    escaped.replace(escaped.find(' '), 1, "\\040");
    const auto table = temp.File("mountinfo", "27 1 254:1 / / rw - ext4 /dev/vda1 rw\n"
                                              "41 27 0:40 / /run rw - tmpfs tmpfs rw\n"
                                              "42 27 8:17 / " +
                                                  escaped + " rw,relatime shared:7 - vfat /dev/sdb1 rw\n");
    const CMountInfoDriveTable drives(table.string());
    const CStorageSystem system(drives, storage.devices);

    CLockKeyScanner fromTable(system);
    fromTable.Scan();
    ASSERT_EQ(fromTable.GetCount(), 1u);
    EXPECT_EQ(fromTable.GetDisplayText(0), "D:\\00A0B0C0D0E0");
    EXPECT_TRUE(fromTable.GetEntry(0).ReadKeyChecked().record.HasKey());
}

class LockKeyEntryTest : public LockKeyScannerTest
{
protected:
    CLockKeyEntry Entry(const std::string& path) const
    {
        CLockKeyEntry entry(storage.system);
        entry.SetPath(path);
        return entry;
    }
};

TEST_F(LockKeyEntryTest, SetPathRules)
{
    struct Case
    {
        std::string path;
        std::string id;
        std::string driveLetter;
    };
    const std::vector<Case> cases = {
        {"E:\\dont_delete_00a0b0c0d0e0\\00a0b0c0d0e0", "00A0B0C0D0E0", "E"},
        {"E:\\dont_delete_ABC\\t_delete_ABC", "T_DELETE_ABC", "E"},
        {"E:\\DONT_DELETE_00A0B0C0D0E0\\00A0B0C0D0E0", "", "E"},
        {"E:\\dont_delete_00a0b0c0d0e0\\00a0b0c0d0e", "", ""},
        {"E:\\dont_delete_00a0b0c0d0e0\\00a0b0c0d0e0f", "", ""},
        {"E:\\dont_delet", "", "E"},
        {"E", "", "E"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        const CLockKeyEntry entry = Entry(c.path);
        EXPECT_EQ(entry.GetPath(), c.path);
        EXPECT_EQ(entry.GetId(), c.id) << c.path;
        EXPECT_EQ(entry.GetDriveLetter(), c.driveLetter) << c.path;
        EXPECT_EQ(entry.GetDeviceId(), "") << c.path;
    }
}

TEST_F(LockKeyEntryTest, KnownAnswerOnAUsbStick)
{
    storage.devices.AddStick(kStickDisk, {kStickPartition}, 0x1234, 0x5678, "0011AABB");
    storage.drives.Add('F', temp.Folder("F"), kStickPartition);
    // Identity 123456780011AABB, ID 00A0B0C0D0E0: byte 0 is bound with '1' and '0', byte 1
    // with '2' and '0', byte 12 with 'A' and '0' (the ID wraps), byte 16 with '1' and 'B'
    // (the identity wraps).
    std::string bytes(40, '\0');
    bytes[0] = '\x61';
    bytes[1] = '\x63';
    bytes[12] = '\x71';
    bytes[16] = '\x73';
    bytes[35] = '\x55'; // beyond the key
    temp.File("F/dont_delete_00a0b0c0d0e0/00a0b0c0d0e0", bytes);

    const CLockKeyEntry entry = Entry("F:\\dont_delete_00a0b0c0d0e0\\00a0b0c0d0e0");
    EXPECT_EQ(entry.GetDeviceId(), "123456780011AABB");
    const CKeyRecord record = entry.ReadKeyChecked().record;
    ASSERT_TRUE(record.HasKey());
    EXPECT_EQ(record.GetDeviceId(), "123456780011AABB");
    EXPECT_EQ(record.GetKey().Data()[0], 0x00);
    EXPECT_EQ(record.GetKey().Data()[1], 0x01);
    EXPECT_EQ(record.GetKey().Data()[12], 0x00);
    EXPECT_EQ(record.GetKey().Data()[16], 0x00);
}

TEST_F(LockKeyEntryTest, FileLengths)
{
    AddDrive('E');
    struct Case
    {
        size_t length;
        bool hasKey;
    };
    for (const Case c : {Case{0, false}, Case{31, false}, Case{32, true}, Case{40, true}}) {
        temp.File("E/dont_delete_00a0b0c0d0e0/00a0b0c0d0e0", Bytes({0x30, 0x31}, c.length));
        const CKeyRecord record = Entry("E:\\dont_delete_00a0b0c0d0e0\\00a0b0c0d0e0").ReadKeyChecked().record;
        EXPECT_EQ(record.HasKey(), c.hasKey) << c.length;
        EXPECT_EQ(record.GetKey().Length(), c.hasKey ? 32u : 0u) << c.length;
        // Without a USB identity only the ID is subtracted.
        EXPECT_EQ(record.GetKey().View().substr(0, 2), c.hasKey ? std::string("\x00\x01", 2) : "") << c.length;
        EXPECT_EQ(record.GetId(), c.hasKey ? "00A0B0C0D0E0" : "") << c.length;
        EXPECT_EQ(record.GetDeviceId(), "") << c.length;
        EXPECT_TRUE(record.GetMachineText().empty()) << c.length;
    }
}

TEST_F(LockKeyEntryTest, StickPulledOutAfterTheScanReadsAsCorrupt)
{
    storage.devices.AddStick(kStickDisk, {kStickPartition}, 0x1234, 0x5678, "0011AABB");
    storage.drives.Add('E', temp.Folder("E"), kStickPartition);
    temp.File("E/dont_delete_00a0b0c0d0e0/00a0b0c0d0e0", std::string(32, 'x'));
    AddDrive('G');
    temp.File("G/dont_delete_111111111111/111111111111", std::string(32, 'x'));

    scanner.Scan();
    ASSERT_EQ(scanner.GetCount(), 2u);
    EXPECT_EQ(scanner.GetEntry(0).GetDeviceId(), "123456780011AABB");
    ASSERT_TRUE(scanner.GetEntry(0).ReadKeyChecked().record.HasKey());

    // The drive is gone from the mount table, and the other one's files are gone.
    storage.drives.Remove('E');
    storage.devices.disks.pop_back();
    std::filesystem::remove_all(temp.Path() / "G" / "dont_delete_111111111111");
    EXPECT_FALSE(scanner.GetEntry(0).ReadKeyChecked().record.HasKey());
    EXPECT_FALSE(scanner.GetEntry(1).ReadKeyChecked().record.HasKey());
    EXPECT_EQ(scanner.GetCount(), 2u); // the list is not refreshed
}

TEST_F(LockKeyEntryTest, ReadKeyCheckedNamesWhyAKeyCannotBeRegistered)
{
    storage.devices.AddStick(kStickDisk, {kStickPartition}, 0x1234, 0x5678, "0011 AABB");
    storage.drives.Add('F', temp.Folder("F"), kStickPartition);
    temp.File("F/dont_delete_00a0b0c0d0e0/00a0b0c0d0e0", std::string(32, 'x'));
    AddDrive('E');
    temp.File("E/dont_delete_000000000001/000000000001", std::string(32, 'x'));
    temp.File("E/dont_delete_000000000002/000000000002", std::string(31, 'x'));
    temp.Folder("E/dont_delete_000000000003/000000000003");
    temp.File("E/DONT_DELETE_000000000004/000000000004", std::string(32, 'x'));
    // A FIFO must not hang the console.
    ASSERT_EQ(mkfifo((temp.Folder("E/dont_delete_000000000007") / "000000000007").c_str(), 0600), 0);
    const struct
    {
        const char* path;
        ELockKeyFault fault;
        bool hasKey;
        bool deviceIdKnown;
    } cases[] = {
        {"E:\\dont_delete_000000000001\\000000000001", ELockKeyFault::None, true, true},
        {"E:\\dont_delete_000000000002\\000000000002", ELockKeyFault::TooShort, false, true},
        {"E:\\dont_delete_000000000003\\000000000003", ELockKeyFault::NotAFile, false, true},
        {"E:\\DONT_DELETE_000000000004\\000000000004", ELockKeyFault::NoId, true, true},
        {"E:\\dont_delete_000000000005\\000000000005", ELockKeyFault::NoKeyFile, false, true},
        {"G:\\dont_delete_000000000006\\000000000006", ELockKeyFault::NoKeyFile, false, true},
        {"E:\\dont_delete_000000000007\\000000000007", ELockKeyFault::FifoOrSocket, false, true},
        // A stick whose serial Windows would not take: its ID is read, its identity unknown.
        {"F:\\dont_delete_00a0b0c0d0e0\\00a0b0c0d0e0", ELockKeyFault::UnknownUsbIdentity, false, false},
    };
    for (const auto& c : cases) {
        const CLockKeyEntry entry = Entry(c.path);
        const SLockKeyRead read = entry.ReadKeyChecked();
        EXPECT_EQ(read.fault, c.fault) << c.path;
        EXPECT_EQ(read.record.HasKey(), c.hasKey) << c.path;
        EXPECT_EQ(entry.IsDeviceIdKnown(), c.deviceIdKnown) << c.path;
        EXPECT_EQ(entry.GetId().empty(), c.fault == ELockKeyFault::NoId) << c.path;
    }
}

} // namespace
