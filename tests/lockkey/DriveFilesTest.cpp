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

    const auto host = files.HostPath("E:\\DONT_DELETE_00A0B0C0D0E0\\00a0b0c0d0e0");
    ASSERT_TRUE(host.has_value());
    EXPECT_EQ(*host, (temp.Path() / "dont_delete_00a0b0c0d0e0" / "00A0B0C0D0E0").string());
}

TEST_F(DriveFilesTest, HostPathPrefersTheExactNameAndStaysOnTheDrive)
{
    temp.File("Key/a", "1");
    temp.File("KEY/a", "2");
    EXPECT_EQ(files.HostPath("E:\\KEY\\a"), (temp.Path() / "KEY" / "a").string());
    EXPECT_EQ(files.HostPath("E:\\Key\\a"), (temp.Path() / "Key" / "a").string());
    EXPECT_FALSE(files.HostPath("E:\\Key\\..\\..\\etc").has_value());
    EXPECT_FALSE(files.HostPath("E:\\nothing").has_value());
}

} // namespace
