#include "StoreTestSupport.h"
#include "platform/CEvent.h"
#include "settings/CKeyStore.h"
#include "settings/CRegistryKey.h"
#include "settings/RegistryNotify.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

// Delivery is promised within 100 ms; the waits are generous for a loaded machine.
constexpr int kDeliveryWaitMs = 10000;
constexpr int kQuietWaitMs = 200;

class NotifyTest : public StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        ASSERT_EQ(CKeyStore().CreateLayout(), 1);
    }
};

struct Watch
{
    const char* path;
    bool subtree;
    uint32_t filter;
};

const std::string kProduct = CKeyStore::kProductPath;
const std::string kConfig = CKeyStore::kConfigPath;
const std::string kKeyList = CKeyStore::kKeyListPath;

const Watch kWatches[] = {
    {CKeyStore::kConfigPath, false, kRegNotifyChangeLastSet},
    {CKeyStore::kKeyListPath, false, kRegNotifyChangeLastSet | kRegNotifyChangeName},
    {CKeyStore::kKeyListPath, false, kRegNotifyChangeName},
    {CKeyStore::kProductPath, true, kRegNotifyChangeLastSet},
    {CKeyStore::kProductPath, false, kRegNotifyChangeLastSet},
    {CKeyStore::kProductPath, false, kRegNotifyChangeName},
    {CKeyStore::kProductPath, true, kRegNotifyChangeName},
};

struct Case
{
    const char* what;
    std::vector<std::string> setup;
    std::vector<std::string> action;
    std::vector<bool> fires; // per watch, in the order of kWatches
};

const std::vector<Case>& Cases()
{
    static const std::vector<Case> cases = {
        {"port", {}, {"port", "8080"}, {true, false, false, true, false, false, false}},
        {"store key", {}, {"store", "00a0b0c0d0e0", "1", "1"}, {false, true, false, true, false, false, false}},
        {"delete key",
         {"store", "00A0B0C0D0E0", "1", "1"},
         {"delete", "00A0B0C0D0E0"},
         {false, true, false, true, false, false, false}},
        {"subkey of KeyList", {}, {"subkey", kKeyList, "Sub"}, {false, true, true, false, false, false, true}},
        {"subkey of product", {}, {"subkey", kProduct, "Extra"}, {false, false, false, false, false, true, true}},
        {"value of product", {}, {"setvalue", kProduct, "Note", "x"}, {false, false, false, true, true, false, false}},
        {"value of a new subkey",
         {"subkey", kKeyList, "Deep"},
         {"setvalue", kKeyList + "\\Deep", "v", "x"},
         {false, false, false, true, false, false, false}},
        {"delete of a subkey",
         {"subkey", kProduct, "Gone"},
         {"deletesubkey", kProduct, "Gone"},
         {false, false, false, false, false, true, true}},
    };
    return cases;
}

// Each case runs on a store of its own, with the branch freshly created.
void RunCases(const std::string& base, bool otherProcess)
{
    int index = 0;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.what);
        const std::string dir = base + "-case" + std::to_string(index++);
        CSqliteStore store(dir);
        SetSettingsStoreForTesting(&store);
        ASSERT_EQ(CKeyStore().CreateLayout(), 1);
        if (!c.setup.empty()) {
            ASSERT_EQ(RunHelperMode(c.setup), 0);
        }
        std::vector<std::unique_ptr<Platform::CEvent>> events;
        std::vector<std::unique_ptr<CRegistryKey>> keys;
        for (const Watch& watch : kWatches) {
            keys.push_back(std::make_unique<CRegistryKey>());
            ASSERT_EQ(keys.back()->Open(kHKeyLocalMachine, watch.path, kKeyAllAccess), 0);
            events.push_back(std::make_unique<Platform::CEvent>(false, false));
            ASSERT_EQ(NotifyChangeKeyValue(keys.back()->GetHandle(), watch.subtree, watch.filter, events.back().get()),
                      0);
        }
        if (otherProcess) {
            ASSERT_EQ(RunHelper(dir, c.action), 0);
        } else {
            ASSERT_EQ(RunHelperMode(c.action), 0);
        }
        for (size_t i = 0; i < c.fires.size(); ++i) {
            if (c.fires[i]) {
                EXPECT_TRUE(events[i]->Wait(kDeliveryWaitMs)) << "watch " << i << " did not fire";
            }
        }
        // Every watch was judged on the same changes as those that fired.
        for (size_t i = 0; i < c.fires.size(); ++i) {
            if (!c.fires[i]) {
                EXPECT_FALSE(events[i]->Wait(kQuietWaitMs)) << "watch " << i << " fired";
            }
        }
        keys.clear(); // closed before their events go away
        SetSettingsStoreForTesting(nullptr);
    }
}

TEST_F(NotifyTest, FilterAndSubtreeDecideWhoIsWokenInThisProcess)
{
    RunCases(StateDir(), false);
    SetSettingsStoreForTesting(&Store());
}

TEST_F(NotifyTest, FilterAndSubtreeDecideWhoIsWokenByAnotherProcess)
{
    RunCases(StateDir(), true);
    SetSettingsStoreForTesting(&Store());
}

TEST_F(NotifyTest, ANotificationFiresOnceAndAgainOnlyWhenRearmed)
{
    CRegistryKey key = CKeyStore().OpenConfigKey();
    Platform::CEvent event(false, false);
    ASSERT_EQ(NotifyChangeKeyValue(key.GetHandle(), false, kRegNotifyChangeLastSet, &event), 0);
    EXPECT_FALSE(event.Wait(kQuietWaitMs)) << "arming alone does not fire";
    ASSERT_EQ(CKeyStore().WritePort(1), 1);
    EXPECT_TRUE(event.Wait(kDeliveryWaitMs));
    ASSERT_EQ(CKeyStore().WritePort(2), 1);
    EXPECT_FALSE(event.Wait(kQuietWaitMs));
    ASSERT_EQ(NotifyChangeKeyValue(key.GetHandle(), false, kRegNotifyChangeLastSet, &event), 0);
    ASSERT_EQ(RunHelper(StateDir(), {"port", "3"}), 0);
    EXPECT_TRUE(event.Wait(kDeliveryWaitMs));
}

TEST_F(NotifyTest, ClosingTheKeyDisarmsAndTheEventIsNotTouchedAfterwards)
{
    CRegistryKey watched = CKeyStore().OpenKeyListKey();
    CRegistryKey control = CKeyStore().OpenKeyListKey();
    auto gone = std::make_unique<Platform::CEvent>(false, false);
    Platform::CEvent controlEvent(false, false);
    ASSERT_EQ(NotifyChangeKeyValue(watched.GetHandle(), false, 5, gone.get()), 0);
    ASSERT_EQ(NotifyChangeKeyValue(control.GetHandle(), false, 5, &controlEvent), 0);
    ASSERT_EQ(watched.Close(), 0);
    gone.reset(); // a delivery now would touch freed memory
    ASSERT_EQ(RunHelper(StateDir(), {"store", "00A0B0C0D0E0", "1", "1"}), 0);
    EXPECT_TRUE(controlEvent.Wait(kDeliveryWaitMs));
}

TEST_F(NotifyTest, DeletingTheWatchedKeyFiresAndBadArgumentsAreRefused)
{
    CRegistryKey config = CKeyStore().OpenConfigKey();
    Platform::CEvent event(false, false);
    EXPECT_EQ(NotifyChangeKeyValue(config.GetHandle(), false, kRegNotifyChangeLastSet, nullptr),
              kErrorInvalidParameter);
    EXPECT_EQ(NotifyChangeKeyValue(0, false, kRegNotifyChangeLastSet, &event), kErrorInvalidHandle);
    CRegistryKey reader;
    ASSERT_EQ(reader.Open(kHKeyLocalMachine, kConfig, kKeyQueryValue), 0);
    EXPECT_EQ(NotifyChangeKeyValue(reader.GetHandle(), false, kRegNotifyChangeLastSet, &event), kErrorAccessDenied);

    ASSERT_EQ(NotifyChangeKeyValue(config.GetHandle(), false, kRegNotifyChangeLastSet, &event), 0);
    ASSERT_EQ(RunHelperMode({"deletesubkey", kProduct, "Config"}), 0);
    EXPECT_TRUE(event.Wait(kDeliveryWaitMs));
    EXPECT_EQ(NotifyChangeKeyValue(config.GetHandle(), false, kRegNotifyChangeLastSet, &event), kErrorKeyDeleted);
}

} // namespace
