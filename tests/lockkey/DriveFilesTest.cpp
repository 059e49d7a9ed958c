#include "TestStorage.h"
#include "console/lockkey/CDriveFiles.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

TEST(DriveFiles, PatternsMatchWithoutRegardToLetterCase)
{
    struct Case
    {
        const char* name;
        const char* pattern;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"dont_delete_00a0b0c0d0e0", "dont_delete_*", true},
        {"DONT_DELETE_00A0B0C0D0E0", "dont_delete_*", true},
        {"Dont_Delete_x", "dont_delete_*", true},
        {"dont_delete_", "dont_delete_*", true},
        {"dont_delete", "dont_delete_*", false},
        {"xdont_delete_1", "dont_delete_*", false},
        {"dont-delete_1", "dont_delete_*", false},
        {"00A0B0C0D0E0", "00a0b0c0d0e0", true},
        {"00A0B0C0D0E0x", "00a0b0c0d0e0", false},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"a.b.c", "*.c", true},
        {"abab", "*ab", true},
        {"", "*", true},
        {"\xC3\xA9", "\xC3\x89", false}, // only ASCII letters fold
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CDriveFiles::MatchesPattern(c.name, c.pattern), c.matches) << c.name << " ~ " << c.pattern;
    }
}

// What an opened file holds; "(fault N)" when none was opened.
std::string Contents(const SDriveFile& file)
{
    if (!file.file.IsOpen()) {
        return "(fault " + std::to_string(static_cast<int>(file.fault)) + ")";
    }
    std::string bytes(64, '\0');
    const auto got = file.file.Read(bytes.data(), bytes.size());
    bytes.resize(got < 0 ? 0 : static_cast<size_t>(got));
    return bytes;
}

class DriveFilesTest : public ::testing::Test
{
protected:
    DriveFilesTest() { drives.Add('E', temp.Path()); }

    CTempFolder temp;
    CTestDriveTable drives;
    CDriveFiles files{drives};
};

TEST_F(DriveFilesTest, SearchFindsFilesAndFoldersInAnyCase)
{
    temp.Folder("dont_delete_aaaaaaaaaaaa");
    temp.Folder("DONT_DELETE_BBBBBBBBBBBB");
    temp.File("Dont_Delete_file", "x");
    temp.Folder("other");
    temp.Folder("dont_delete_with*star");

    std::vector<std::string> found = files.Search("E:\\dont_delete_*");
    std::sort(found.begin(), found.end());
    const std::vector<std::string> expected = {"DONT_DELETE_BBBBBBBBBBBB", "Dont_Delete_file",
                                               "dont_delete_aaaaaaaaaaaa"};
    EXPECT_EQ(found, expected);
    EXPECT_EQ(files.Search("e:\\dont_delete_*").size(), 3u);
}

TEST_F(DriveFilesTest, SearchInsideFoldersResolvesEveryPartInAnyCase)
{
    temp.File("dont_delete_00a0b0c0d0e0/00A0B0C0D0E0", "key");
    EXPECT_EQ(files.Search("E:\\dont_delete_00a0b0c0d0e0\\00a0b0c0d0e0"), std::vector<std::string>{"00A0B0C0D0E0"});
    EXPECT_EQ(files.Search("E:\\DONT_DELETE_00A0B0C0D0E0\\00A0B0C0D0E0").size(), 1u);
    EXPECT_TRUE(files.Search("E:\\dont_delete_00a0b0c0d0e0\\00a0b0c0d0e1").empty());
    EXPECT_TRUE(files.Search("E:\\missing\\00a0b0c0d0e0").empty());
    EXPECT_TRUE(files.Search("F:\\dont_delete_*").empty());
    EXPECT_TRUE(files.Search("E:dont_delete_*").empty());

    EXPECT_EQ(Contents(files.OpenFile("E:\\DONT_DELETE_00A0B0C0D0E0\\00a0b0c0d0e0")), "key");
}

TEST_F(DriveFilesTest, OpenFilePrefersTheExactNameAndStaysOnTheDrive)
{
    temp.File("Key/a", "1");
    temp.File("KEY/a", "2");
    temp.File("a", "outside");
    EXPECT_EQ(Contents(files.OpenFile("E:\\KEY\\a")), "2");
    EXPECT_EQ(Contents(files.OpenFile("E:\\Key\\a")), "1");
    for (const char* path :
         {"E:\\Key\\..\\..\\etc", "E:\\Key\\..\\a", "E:\\Key/..\\a", "E:\\Key\\../a", "E:\\nothing", "E:\\", "F:\\a"}) {
        const SDriveFile file = files.OpenFile(path);
        EXPECT_FALSE(file.file.IsOpen()) << path;
        EXPECT_EQ(file.fault, EDriveFileFault::Missing) << path;
    }
}

} // namespace
