// What the store promises about its files and its machine identity: every change is in
// settings.db alone when it returns, a file replaced under the process is noticed, and keys
// masked for another machine are never read as this machine's.
#include "StoreTestSupport.h"
#include "settings/CKeyStore.h"
#include "settings/CRegistryKey.h"
#include "settings/CSettingsStore.h"
#include "settings/MachineText.h"

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct SHeld
{
    std::map<std::string, std::string> keys;
    uint16_t port = 0;
    std::string password;
    bool operator==(const SHeld&) const = default;
};

SHeld Read(CKeyStore& store)
{
    SHeld held;
    for (const auto& [id, record] : store.LoadKeyList()) {
        held.keys[id] = std::string(record.GetKey().View());
    }
    held.port = store.ReadPort();
    held.password = store.ReadPassword();
    return held;
}

std::vector<std::string> FileNames(const std::string& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::mutex g_noticesLock;
std::vector<std::string> g_notices;

class DurabilityTest : public StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        SetStoreNoticeSink([](const std::string& notice) {
            std::lock_guard lock(g_noticesLock);
            g_notices.push_back(notice);
        });
    }
    void TearDown() override
    {
        SetStoreNoticeSink(nullptr);
        std::lock_guard lock(g_noticesLock);
        g_notices.clear();
        StoreTest::TearDown();
    }

    // What a copy of settings.db alone holds, read by a store of its own.
    SHeld CopyOfTheFileAlone()
    {
        const std::string copy = StateDir() + "-copy";
        fs::remove_all(copy);
        fs::create_directory(copy);
        fs::permissions(copy, fs::perms::owner_all);
        fs::copy_file(StateDir() + "/settings.db", copy + "/settings.db");
        CSqliteStore other(copy);
        SetSettingsStoreForTesting(&other);
        const SHeld held = Read(store);
        SetSettingsStoreForTesting(&Store());
        return held;
    }

    // Runs sql on settings.db in a process of its own that then ends without closing the
    // database, as a process killed at that point would.
    bool EndedMidway(const char* sql)
    {
        const std::string db = StateDir() + "/settings.db";
        const pid_t child = fork();
        if (child == 0) {
            sqlite3* raw = nullptr;
            const bool done = sqlite3_open(db.c_str(), &raw) == SQLITE_OK &&
                              sqlite3_exec(raw, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
            _exit(done ? 0 : 1);
        }
        int status = 0;
        return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    CKeyStore store;
};

TEST_F(DurabilityTest, SettingsDbAloneHoldsEveryKindOfWriteOnceItReturns)
{
    CKeyStore::SContents restored;
    restored.port = 4242;
    restored.password = "restored";
    restored.keys["0000000000R1"] = MakeRecord("0000000000R1", KeyBytes(5, 1));
    const std::vector<std::pair<const char*, std::function<bool()>>> writes = {
        {"create the layout", [this] { return store.CreateLayout() == 1; }},
        {"store a key", [this] { return store.StoreKey(MakeRecord("00A0B0C0D0E0", KeyBytes(1, 0))) == 1; }},
        {"store a batch",
         [this] {
             std::vector<CKeyRecord> batch;
             for (int i = 0; i < 50; ++i) {
                 batch.push_back(MakeRecord("B" + std::to_string(i), KeyBytes(2, i)));
             }
             return store.StoreKeys(batch) == std::vector<int>(50, 1);
         }},
        {"delete a key", [this] { return store.DeleteKey("B7") == 1; }},
        {"write the port", [this] { return store.WritePort(8080) == 1; }},
        {"write the password", [this] { return store.WritePassword("secret") == 1; }},
        {"restore an export", [this, &restored] { return store.Restore(restored, true) == 1; }},
    };
    for (const auto& [name, write] : writes) {
        ASSERT_TRUE(write()) << name;
        EXPECT_EQ(CopyOfTheFileAlone(), Read(store)) << name;
        EXPECT_EQ(FileNames(StateDir()), (std::vector<std::string>{"settings.changes", "settings.db"})) << name;
    }
    EXPECT_EQ(Read(store).keys.size(), 1u);
}

TEST_F(DurabilityTest, AFileReplacedUnderTheProcessIsOpenedAfreshAndARemovedOneIsNotWritten)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    ASSERT_EQ(store.StoreKey(MakeRecord("0000000000A1", KeyBytes(1, 1))), 1);
    // Another store's file moved over this one's, as a restore from a backup would.
    const std::string other = StateDir() + "-other";
    {
        CSqliteStore replacement(other);
        SetSettingsStoreForTesting(&replacement);
        ASSERT_EQ(store.CreateLayout(), 1);
        ASSERT_EQ(store.StoreKey(MakeRecord("0000000000B2", KeyBytes(2, 2))), 1);
        SetSettingsStoreForTesting(&Store());
    }
    fs::rename(other + "/settings.db", StateDir() + "/settings.db");
    EXPECT_EQ(Read(store).keys.size(), 1u);
    EXPECT_EQ(Read(store).keys.count("0000000000B2"), 1u);
    {
        std::lock_guard lock(g_noticesLock);
        ASSERT_EQ(g_notices.size(), 1u);
        EXPECT_NE(g_notices[0].find("settings.db was removed or replaced while in use"), std::string::npos);
    }

    // Removed: nothing is written into the file that lost its name, and nothing is made up.
    fs::remove(StateDir() + "/settings.db");
    EXPECT_EQ(store.StoreKey(MakeRecord("0000000000C3", KeyBytes(3, 3))), 0);
    EXPECT_EQ(store.WritePort(1234), 0);
    EXPECT_TRUE(store.LoadKeyList().empty());
    EXPECT_FALSE(fs::exists(StateDir() + "/settings.db"));
}

TEST_F(DurabilityTest, KeysMaskedForAnotherMachineAreNeitherReadNorWritten)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    ASSERT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E0", KeyBytes(1, 0))), 1);
    ASSERT_EQ(store.WritePassword("secret"), 1);
    ASSERT_EQ(store.CheckMachineIdentity(), CKeyStore::Identity::Matches);
    std::string verifier;
    ASSERT_TRUE(ReadRaw(CKeyStore::kConfigPath, CKeyStore::kVerifierValue, verifier));
    EXPECT_EQ(verifier.find(kTestMachineText), std::string::npos) << "a hash of the text, never the text";

    SetMachineTextForTesting(std::string("another machine"));
    EXPECT_EQ(store.CheckMachineIdentity(), CKeyStore::Identity::Foreign);
    std::map<std::string, CKeyRecord> list;
    EXPECT_EQ(store.ReadKeyList(list), 0);
    EXPECT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E1", KeyBytes(1, 1))), 0);
    EXPECT_EQ(store.ReadPassword(), "");
    EXPECT_EQ(store.WritePassword("other"), 0);
    EXPECT_EQ(store.Prepare(), 0);
    EXPECT_EQ(store.CreateLayout(), 1) << "the layout is there";
    CKeyStore::SContents contents;
    EXPECT_EQ(store.ReadContents(contents), 0);
    EXPECT_EQ(store.Restore(contents, false), 0) << "only a whole replacement";
    EXPECT_EQ(store.CheckMachineIdentity(), CKeyStore::Identity::Foreign) << "nothing took it over";

    contents.keys["00A0B0C0D0E9"] = MakeRecord("00A0B0C0D0E9", KeyBytes(9, 9));
    ASSERT_EQ(store.Restore(contents, true), 1);
    EXPECT_EQ(store.CheckMachineIdentity(), CKeyStore::Identity::Matches);
    const SHeld held = Read(store);
    EXPECT_EQ(held.keys, (std::map<std::string, std::string>{{"00A0B0C0D0E9", KeyBytes(9, 9)}}));
    EXPECT_EQ(held.port, CKeyStore::kDefaultPort);
}

TEST_F(DurabilityTest, AStoreWithoutAVerifierGetsOneWhenPreparedAndReadingChangesNothing)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    ASSERT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E0", KeyBytes(1, 0))), 1);
    CRegistryKey config = store.OpenConfigKey();
    ASSERT_EQ(config.DeleteValue(CKeyStore::kVerifierValue), 0);
    EXPECT_EQ(store.CheckMachineIdentity(), CKeyStore::Identity::Unverified);
    const uint64_t before = store.ChangeCount();
    EXPECT_EQ(store.LoadKeyList().size(), 1u);
    EXPECT_EQ(store.ChangeCount(), before) << "a read wrote";
    ASSERT_EQ(store.Prepare(), 1);
    EXPECT_EQ(store.CheckMachineIdentity(), CKeyStore::Identity::Matches);
    EXPECT_EQ(std::string(store.LoadKeyList()["00A0B0C0D0E0"].GetKey().View()), KeyBytes(1, 0));
}

TEST_F(DurabilityTest, AStoreLeftInWriteAheadModeMovesItsChangesIntoSettingsDbAtTheFirstWrite)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    ASSERT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E0", KeyBytes(1, 0))), 1);
    // As an earlier version left it: the file in write-ahead mode, the last change (the port
    // set to 4321) only in settings.db-wal, since that process ended without closing it.
    ASSERT_TRUE(EndedMidway("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                            "UPDATE vals SET data = x'E1100000' WHERE folded = CAST('portno' AS BLOB);"));
    const std::string db = StateDir() + "/settings.db";
    ASSERT_TRUE(fs::exists(db + "-wal"));

    CSqliteStore reopened(StateDir());
    SetSettingsStoreForTesting(&reopened);
    EXPECT_EQ(store.ReadPort(), 4321);
    ASSERT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E1", KeyBytes(1, 1))), 1);
    EXPECT_EQ(FileNames(StateDir()), (std::vector<std::string>{"settings.changes", "settings.db"}));
    const SHeld held = Read(store);
    EXPECT_EQ(held.port, 4321);
    EXPECT_EQ(held.keys.size(), 2u);
    EXPECT_EQ(CopyOfTheFileAlone(), held);
    SetSettingsStoreForTesting(&Store());
}

TEST_F(DurabilityTest, AKeptCopyIsOwnerOnlyNeverReplacedAndRestoresTheStore)
{
    std::string kept;
    EXPECT_EQ(store.KeepCopy(kept), 0) << "no store yet: nothing to copy";
    ASSERT_EQ(store.CreateLayout(), 1);
    ASSERT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E0", KeyBytes(1, 1))), 1);
    ASSERT_EQ(store.WritePassword("pw"), 1);
    const mode_t previous = umask(0);
    ASSERT_EQ(store.KeepCopy(kept), 1);
    umask(previous);
    EXPECT_EQ(kept.rfind(StateDir() + "/settings-20", 0), 0u) << kept;
    EXPECT_EQ(kept.substr(kept.size() - 4), "Z.db") << kept;
    struct stat status
    {};
    ASSERT_EQ(stat(kept.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    // A second copy within the same second must not replace the first.
    std::string again;
    const int second = store.KeepCopy(again);
    EXPECT_TRUE(second == 1 ? again != kept : again.empty());

    // Restoring is putting the copy in place of settings.db.
    ASSERT_EQ(store.RemoveLayout(), 1);
    ASSERT_TRUE(store.LoadKeyList().empty());
    ASSERT_EQ(rename(kept.c_str(), (StateDir() + "/settings.db").c_str()), 0);
    const auto keys = store.LoadKeyList();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(std::string(keys.begin()->second.GetKey().View()), KeyBytes(1, 1));
    EXPECT_EQ(store.ReadPassword(), "pw");
}

TEST_F(DurabilityTest, AChangeLeftHalfDoneByAKilledWriterIsUndoneByTheNextProcessThatReads)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    ASSERT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E0", KeyBytes(1, 0))), 1);
    const SHeld before = Read(store);
    // A transaction too large for the cache writes into settings.db before it commits; the
    // process ends there, its journal left beside the file.
    ASSERT_TRUE(EndedMidway("PRAGMA cache_size=1; BEGIN IMMEDIATE; UPDATE vals SET data = x'00000000';"
                            "CREATE TABLE filler(x); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                            "FROM n WHERE i < 2000) INSERT INTO filler SELECT randomblob(1000) FROM n;"));
    ASSERT_TRUE(fs::exists(StateDir() + "/settings.db-journal"));

    CSqliteStore reopened(StateDir());
    SetSettingsStoreForTesting(&reopened);
    EXPECT_EQ(store.Inspect(false).problem, StoreProblem::None);
    EXPECT_EQ(Read(store), before);
    EXPECT_FALSE(fs::exists(StateDir() + "/settings.db-journal"));
    SetSettingsStoreForTesting(&Store());
}

} // namespace
