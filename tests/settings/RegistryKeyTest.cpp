#include "CCountingStore.h"
#include "StoreTestSupport.h"
#include "settings/CRegistryKey.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace {

class RegistryKeyTest : public StoreTest
{
protected:
    // Every test but the first works in SOFTWARE\Test, open with full access as key.
    void SetUp() override
    {
        StoreTest::SetUp();
        OpenTestKey(key);
    }
    void TearDown() override
    {
        key.Close(); // before the store it was opened in goes
        StoreTest::TearDown();
    }
    void OpenTestKey(CRegistryKey& opened)
    {
        CRegistryKey software;
        ASSERT_EQ(software.Open(kHKeyLocalMachine, "SOFTWARE", kKeyAllAccess), 0);
        ASSERT_EQ(software.CreateSubkey("Test", 0, nullptr, kKeyAllAccess, nullptr), 0);
        ASSERT_EQ(opened.Open(kHKeyLocalMachine, "SOFTWARE\\Test", kKeyAllAccess), 0);
    }
    static int32_t Set(CRegistryKey& key, const std::string& name, const std::string& data)
    {
        return key.SetValue(name, data.data(), static_cast<uint32_t>(data.size()), kRegBinary);
    }

    CRegistryKey key;
};

TEST_F(RegistryKeyTest, ConstructedAndClosedStates)
{
    CRegistryKey own;
    EXPECT_EQ(own.GetHandle(), 0u);
    EXPECT_EQ(own.GetPath(), "");
    EXPECT_EQ(own.GetSubkeyIndex(), -1);
    EXPECT_EQ(own.GetValueIndex(), -1);
    EXPECT_EQ(own.Close(), 0);

    OpenTestKey(own);
    EXPECT_NE(own.GetHandle(), 0u);
    EXPECT_EQ(own.GetPath(), "SOFTWARE\\Test");
    ASSERT_EQ(Set(own, "v", "x"), 0);
    EXPECT_EQ(own.ValueNameAt(0), "v");
    EXPECT_EQ(own.GetValueIndex(), 0);
    EXPECT_EQ(own.Close(), 0);
    EXPECT_EQ(own.GetHandle(), 0u);
    EXPECT_EQ(own.GetPath(), "");
    EXPECT_EQ(own.GetValueIndex(), -1);
    EXPECT_EQ(own.GetValueName(), "");
    EXPECT_NE(Set(own, "v", "y"), 0) << "a closed key must not write";
}

TEST_F(RegistryKeyTest, OpenOfAMissingPathFailsStaysClosedAndCreatesNothing)
{
    for (const char* path : {"SOFTWARE\\Test\\Missing", "SOFTWARE\\Nope\\Deeper", "SOFTWARE\\Test\\\\x", "\\"}) {
        CRegistryKey probe;
        EXPECT_EQ(probe.Open(kHKeyLocalMachine, path, kKeyAllAccess), kErrorFileNotFound) << path;
        EXPECT_EQ(probe.GetHandle(), 0u);
        EXPECT_EQ(probe.GetPath(), "");
    }
    EXPECT_EQ(key.SubkeyNameAt(0), "");
    EXPECT_EQ(key.Reopen(), 0) << "the failed opens must not disturb others";

    // A failed open of an open object closes it.
    EXPECT_EQ(key.Open(kHKeyLocalMachine, "SOFTWARE\\Missing", kKeyAllAccess), kErrorFileNotFound);
    EXPECT_EQ(key.GetHandle(), 0u);
}

TEST_F(RegistryKeyTest, NamesAreFoundWithoutRegardToCaseAndKeepTheirCase)
{
    uint32_t disposition = 0;
    ASSERT_EQ(key.CreateSubkey("MiXed", 0, nullptr, kKeyAllAccess, &disposition), 0);
    EXPECT_EQ(disposition, kRegCreatedNewKey);
    ASSERT_EQ(key.CreateSubkey("MIXED", 0, nullptr, kKeyAllAccess, &disposition), 0);
    EXPECT_EQ(disposition, kRegOpenedExistingKey);
    EXPECT_EQ(key.SubkeyNameAt(0), "MiXed");
    EXPECT_EQ(key.SubkeyNameAt(1), "");

    CRegistryKey other;
    EXPECT_EQ(other.Open(kHKeyLocalMachine, "software\\TEST\\mixed", kKeyRead), 0);

    // "abc" then "ABC": one value, the first spelling, the second data.
    ASSERT_EQ(Set(key, "abc", "one"), 0);
    ASSERT_EQ(Set(key, "ABC", "two"), 0);
    EXPECT_EQ(key.ValueNameAt(0), "abc");
    EXPECT_EQ(key.ValueNameAt(1), "");
    std::string data;
    ASSERT_TRUE(ReadRaw("SOFTWARE\\Test", "aBc", data));
    EXPECT_EQ(data, "two");

    // Only a-z fold: bytes above 0x7F are distinct names.
    ASSERT_EQ(Set(key, "\xc4", "upper"), 0);
    ASSERT_EQ(Set(key, "\xe4", "lower"), 0);
    ASSERT_TRUE(ReadRaw("SOFTWARE\\Test", "\xc4", data));
    EXPECT_EQ(data, "upper");
}

TEST_F(RegistryKeyTest, CreateOfAnExistingSubkeyKeepsItsValues)
{
    CRegistryKey child;
    uint32_t disposition = 0;
    ASSERT_EQ(key.CreateSubkeyAndOpen("Child", 0, &child, kKeyAllAccess, &disposition), 0);
    EXPECT_EQ(disposition, kRegCreatedNewKey);
    ASSERT_NE(child.GetHandle(), 0u);
    ASSERT_EQ(Set(child, "kept", "data"), 0);

    RegistryHandle handle = 0;
    ASSERT_EQ(key.CreateSubkey("Child", 0, &handle, kKeyAllAccess, &disposition), 0);
    EXPECT_EQ(disposition, kRegOpenedExistingKey);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(CloseRegistryHandle(handle), 0);
    std::string data;
    ASSERT_TRUE(ReadRaw("SOFTWARE\\Test\\Child", "kept", data));
    EXPECT_EQ(data, "data");
}

TEST_F(RegistryKeyTest, DeleteSubkeyRefusesAKeyWithSubkeys)
{
    CRegistryKey parent;
    ASSERT_EQ(key.CreateSubkeyAndOpen("Parent", 0, &parent, kKeyAllAccess, nullptr), 0);
    ASSERT_EQ(parent.CreateSubkey("Kid", 0, nullptr, kKeyAllAccess, nullptr), 0);
    ASSERT_EQ(Set(parent, "value", "v"), 0);

    EXPECT_NE(key.DeleteSubkey("Parent"), 0);
    EXPECT_EQ(key.SubkeyNameAt(0), "Parent");
    EXPECT_EQ(parent.DeleteSubkey("kid"), 0);
    EXPECT_EQ(key.DeleteSubkey("PARENT"), 0) << "values do not hold a key";
    EXPECT_EQ(key.DeleteSubkey("Parent"), kErrorFileNotFound);

    // The open handle of the deleted key reports it on every use.
    EXPECT_EQ(Set(parent, "late", "x"), kErrorKeyDeleted);
    uint32_t length = 0;
    EXPECT_EQ(parent.QueryValue("value", nullptr, &length, nullptr), kErrorKeyDeleted);
    EXPECT_EQ(parent.EnumValue(0, nullptr, nullptr, nullptr), kErrorKeyDeleted);
    EXPECT_EQ(parent.CreateSubkey("again", 0, nullptr, kKeyAllAccess, nullptr), kErrorKeyDeleted);

    // A new key of the same name is another key: the old handle still reports deletion.
    ASSERT_EQ(key.CreateSubkey("Parent", 0, nullptr, kKeyAllAccess, nullptr), 0);
    EXPECT_EQ(Set(parent, "late", "x"), kErrorKeyDeleted);
}

TEST_F(RegistryKeyTest, QueryValueReportsSizesAndMoreData)
{
    const std::string value(32, '\x5a');
    ASSERT_EQ(Set(key, "Big", value), 0);

    char small[4];
    uint32_t length = sizeof small;
    uint32_t type = 0;
    EXPECT_EQ(key.QueryValue("Big", small, &length, &type), kErrorMoreData);
    EXPECT_EQ(length, 32u);

    length = 0;
    EXPECT_EQ(key.QueryValue("Big", nullptr, &length, &type), 0) << "size query";
    EXPECT_EQ(length, 32u);
    EXPECT_EQ(type, kRegBinary);

    char exact[32];
    length = sizeof exact;
    EXPECT_EQ(key.QueryValue("big", exact, &length, nullptr), 0);
    EXPECT_EQ(std::string(exact, length), value);

    ASSERT_EQ(key.SetValue("Empty", "", 0, kRegBinary), 0);
    length = sizeof exact;
    EXPECT_EQ(key.QueryValue("Empty", exact, &length, &type), 0);
    EXPECT_EQ(length, 0u);

    EXPECT_EQ(key.QueryValue("Missing", exact, &length, nullptr), kErrorFileNotFound);
    EXPECT_EQ(key.DeleteValue("BIG"), 0);
    EXPECT_EQ(key.DeleteValue("Big"), kErrorFileNotFound);
    EXPECT_EQ(key.QueryValue("Big", exact, &length, nullptr), kErrorFileNotFound);
}

TEST_F(RegistryKeyTest, NamesTheStoreCannotHoldAreRefused)
{
    const std::string withNul("ab\0cd", 5);
    const std::string tooLong(513, 'n');
    const std::string longest(512, 'n');
    EXPECT_NE(Set(key, withNul, "x"), 0);
    EXPECT_NE(Set(key, tooLong, "x"), 0);
    EXPECT_NE(key.CreateSubkey(withNul, 0, nullptr, kKeyAllAccess, nullptr), 0);
    EXPECT_NE(key.CreateSubkey(tooLong, 0, nullptr, kKeyAllAccess, nullptr), 0);
    EXPECT_EQ(key.ValueNameAt(0), "");
    EXPECT_EQ(key.SubkeyNameAt(0), "");
    // Nothing was stored under the part before the NUL either.
    std::string data;
    EXPECT_FALSE(ReadRaw("SOFTWARE\\Test", "ab", data));

    EXPECT_EQ(Set(key, longest, "x"), 0);
    EXPECT_EQ(key.ValueNameAt(0), longest);
    EXPECT_EQ(key.CreateSubkey(longest, 0, nullptr, kKeyAllAccess, nullptr), 0);
    EXPECT_EQ(key.SubkeyNameAt(0), longest);
}

TEST_F(RegistryKeyTest, EnumerationByIndexEndsWithAnEmptyNameAndRemembersFailures)
{
    EXPECT_EQ(key.ValueNameAt(0), "");
    EXPECT_EQ(key.GetValueIndex(), CRegistryKey::kFailedIndex);

    std::set<std::string> names = {"one", "two", "three"};
    for (const auto& name : names) {
        ASSERT_EQ(Set(key, name, name), 0);
    }
    CRegistryKey fresh;
    ASSERT_EQ(fresh.Open(kHKeyLocalMachine, "SOFTWARE\\Test", kKeyRead), 0);
    std::set<std::string> seen;
    for (int i = 0; i < 3; ++i) {
        seen.insert(fresh.ValueNameAt(i));
    }
    EXPECT_EQ(seen, names);
    EXPECT_EQ(fresh.ValueNameAt(3), "");
    EXPECT_EQ(fresh.EnumValue(3, nullptr, nullptr, nullptr), kErrorNoMoreItems);
    EXPECT_EQ(fresh.GetValueIndex(), CRegistryKey::kFailedIndex);
    EXPECT_EQ(fresh.GetValueName(), "");

    // Data comes with the name; a too-small buffer fails that index only.
    char buffer[8];
    uint32_t length = sizeof buffer;
    uint32_t type = 0;
    ASSERT_EQ(Set(key, "zlong", std::string(9, 'z')), 0);
    ASSERT_EQ(fresh.EnumValue(0, buffer, &length, &type), 0);
    EXPECT_EQ(type, kRegBinary);
    EXPECT_EQ(std::string(buffer, length), fresh.GetValueName());
    length = sizeof buffer;
    EXPECT_EQ(fresh.EnumValue(3, buffer, &length, nullptr), kErrorMoreData);
    EXPECT_EQ(length, 9u);
    EXPECT_EQ(fresh.GetValueName(), "");

    // Subkeys in the same way.
    EXPECT_EQ(fresh.SubkeyNameAt(0), "");
    EXPECT_EQ(fresh.GetSubkeyIndex(), CRegistryKey::kFailedIndex);
    ASSERT_EQ(key.CreateSubkey("Sub", 0, nullptr, kKeyAllAccess, nullptr), 0);
    RegistryFileTime written;
    char className[4] = "xx";
    uint32_t classLength = sizeof className;
    EXPECT_EQ(fresh.EnumSubkey(0, className, &classLength, &written), 0);
    EXPECT_EQ(fresh.GetSubkeyName(), "Sub");
    EXPECT_EQ(classLength, 0u);
    EXPECT_NE(written.highDateTime, 0u);
}

TEST_F(RegistryKeyTest, AskingTwiceForTheSameIndexAsksTheStoreOnce)
{
    ASSERT_EQ(Set(key, "only", "x"), 0);

    CCountingStore counting(Store());
    SetSettingsStoreForTesting(&counting);
    EXPECT_EQ(key.ValueNameAt(0), "only");
    EXPECT_EQ(key.ValueNameAt(0), "only");
    EXPECT_EQ(counting.enumValueCalls.load(), 1);
    EXPECT_EQ(key.ValueNameAt(1), "");
    EXPECT_EQ(counting.enumValueCalls.load(), 2);
    EXPECT_EQ(key.SubkeyNameAt(0), "");
    EXPECT_EQ(key.SubkeyNameAt(0), "") << "a failed index is remembered as 65535, not as 0";
    EXPECT_EQ(counting.enumKeyCalls.load(), 2);
    SetSettingsStoreForTesting(&Store());
}

TEST_F(RegistryKeyTest, CopiesOwnTheirHandles)
{
    CRegistryKey first;
    OpenTestKey(first);
    CRegistryKey copy(first);
    EXPECT_NE(copy.GetHandle(), 0u);
    EXPECT_NE(copy.GetHandle(), first.GetHandle());
    EXPECT_EQ(copy.GetPath(), first.GetPath());
    EXPECT_EQ(first.Close(), 0);
    EXPECT_EQ(Set(copy, "after", "close"), 0);

    CRegistryKey assigned;
    assigned = copy;
    EXPECT_NE(assigned.GetHandle(), copy.GetHandle());
    EXPECT_EQ(assigned.ValueNameAt(0), "after");

    // A closed object copies as closed, not as the root its empty path would name.
    CRegistryKey closed;
    CRegistryKey closedCopy(closed);
    EXPECT_EQ(closedCopy.GetHandle(), 0u);
    assigned = closed;
    EXPECT_EQ(assigned.GetHandle(), 0u);

    // Moving hands the handle over.
    const RegistryHandle handle = copy.GetHandle();
    CRegistryKey moved(std::move(copy));
    EXPECT_EQ(moved.GetHandle(), handle);
    EXPECT_EQ(moved.ValueNameAt(0), "after");
}

TEST_F(RegistryKeyTest, AccessMasksAreEnforced)
{
    ASSERT_EQ(Set(key, "v", "x"), 0);

    CRegistryKey reader;
    ASSERT_EQ(reader.Open(kHKeyLocalMachine, "SOFTWARE\\Test", kKeyRead), 0);
    EXPECT_EQ(Set(reader, "v", "y"), kErrorAccessDenied);
    EXPECT_EQ(reader.DeleteValue("v"), kErrorAccessDenied);
    EXPECT_EQ(reader.CreateSubkey("c", 0, nullptr, kKeyAllAccess, nullptr), kErrorAccessDenied);
    EXPECT_EQ(reader.ValueNameAt(0), "v");

    // Reopen with another access keeps the path.
    EXPECT_EQ(reader.Reopen(kKeyAllAccess), 0);
    EXPECT_EQ(reader.GetPath(), "SOFTWARE\\Test");
    EXPECT_EQ(Set(reader, "v", "y"), 0);
    EXPECT_EQ(reader.Flush(), 0);

    CRegistryKey writer;
    ASSERT_EQ(writer.Open(kHKeyLocalMachine, "SOFTWARE\\Test", kKeySetValue), 0);
    uint32_t length = 0;
    EXPECT_EQ(writer.QueryValue("v", nullptr, &length, nullptr), kErrorAccessDenied);
}

} // namespace
