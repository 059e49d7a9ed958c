#include "CCountingStore.h"
#include "StoreTestSupport.h"
#include "keys/AsciiCase.h"
#include "platform/MachineIdentity.h"
#include "settings/CKeyStore.h"
#include "settings/CRegistryKey.h"
#include "settings/MachineText.h"

#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

class KeyStoreTest : public StoreTest
{
protected:
    CKeyStore store;

    std::string StoredKey(const std::string& name)
    {
        std::string data;
        uint32_t type = 0;
        EXPECT_TRUE(ReadRaw(CKeyStore::kKeyListPath, name, data, &type)) << name;
        EXPECT_EQ(type, kRegBinary);
        return data;
    }
    std::vector<std::string> KeyListNames()
    {
        CRegistryKey key = store.OpenKeyListKey();
        std::vector<std::string> names;
        for (int i = 0;; ++i) {
            std::string name = key.ValueNameAt(i);
            if (name.empty()) {
                return names;
            }
            names.push_back(name);
        }
    }
};

TEST_F(KeyStoreTest, AStoreWithoutTheBranchIsCreatedWithTheDefaultPort)
{
    EXPECT_EQ(store.CanWrite(), 1);
    EXPECT_EQ(store.LayoutExists(), 0) << "the write check creates nothing";
    EXPECT_EQ(store.ReadPort(), 0);
    EXPECT_EQ(store.GetPortText(), "0");
    EXPECT_TRUE(store.LoadKeyList().empty());
    EXPECT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E0", KeyBytes(1, 1))), 0);
    EXPECT_EQ(store.WritePassword("pw"), 0);
    EXPECT_EQ(store.ReadPassword(), "");
    EXPECT_EQ(store.OpenConfigKey().GetHandle(), 0u);

    ASSERT_EQ(store.CreateLayout(), 1);
    EXPECT_EQ(store.LayoutExists(), 1);
    EXPECT_EQ(store.ReadPort(), 51056);
    EXPECT_TRUE(store.LoadKeyList().empty());
    std::string port;
    uint32_t type = 0;
    ASSERT_TRUE(ReadRaw(CKeyStore::kConfigPath, "PortNo", port, &type));
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(port, std::string("\x70\xc7\x00\x00", 4));
    EXPECT_NE(store.OpenConfigKey().GetHandle(), 0u);
    EXPECT_NE(store.OpenKeyListKey().GetHandle(), 0u);
}

TEST_F(KeyStoreTest, AMissingKeyMakesTheLayoutIncompleteAndCreateResetsThePort)
{
    for (const char* missing : {"KeyList", "Config"}) {
        ASSERT_EQ(store.CreateLayout(), 1);
        ASSERT_EQ(store.WritePort(8080), 1);
        CRegistryKey product;
        ASSERT_EQ(product.Open(kHKeyLocalMachine, CKeyStore::kProductPath, kKeyAllAccess), 0);
        ASSERT_EQ(product.DeleteSubkey(missing), 0);
        EXPECT_EQ(store.LayoutExists(), 0) << missing;
        ASSERT_EQ(store.CreateLayout(), 1);
        EXPECT_EQ(store.LayoutExists(), 1);
        EXPECT_EQ(store.ReadPort(), 51056) << missing;
    }
}

TEST_F(KeyStoreTest, KeysAreStoredUnderTheUpperCasedIdAndLoadBackUnmasked)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    const std::string first = KeyBytes(1, 1);
    const std::string second = KeyBytes(2, 2);
    ASSERT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E0", first)), 1);
    EXPECT_EQ(KeyListNames(), std::vector<std::string>{"00A0B0C0D0E0"});
    auto list = store.LoadKeyList();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list["00A0B0C0D0E0"].GetKey().View(), first);
    EXPECT_EQ(list["00A0B0C0D0E0"].GetId(), "00A0B0C0D0E0");

    // A record whose ID was set in lower case and one of another case replace it.
    CKeyRecord lower;
    lower.SetKey(second.data());
    lower.SetId("00a0b0c0d0e0");
    ASSERT_EQ(store.StoreKey(lower), 1);
    EXPECT_EQ(KeyListNames(), std::vector<std::string>{"00A0B0C0D0E0"});
    list = store.LoadKeyList();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.begin()->first, "00A0B0C0D0E0");
    EXPECT_EQ(list.begin()->second.GetKey().View(), second);
    EXPECT_NE(StoredKey("00A0B0C0D0E0"), second) << "keys are never stored as they are";

    EXPECT_EQ(store.DeleteKey("00a0b0c0d0e0"), 1);
    EXPECT_EQ(store.DeleteKey("00A0B0C0D0E0"), 0);
    EXPECT_TRUE(store.LoadKeyList().empty());
}

TEST_F(KeyStoreTest, IdsTheStoreCannotHoldAndKeylessRecordsWriteNothing)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    const std::string key = KeyBytes(3, 3);
    struct Case
    {
        std::string id;
        int result;
    };
    const Case cases[] = {
        {"", 0},
        {std::string("00A0\0B0C0D0E0", 13), 0},
        {std::string(513, 'A'), 0},
        {std::string(512, 'A'), 1},
    };
    for (const Case& c : cases) {
        CKeyRecord record;
        record.SetKey(key.data());
        record.SetId(c.id);
        EXPECT_EQ(store.StoreKey(record), c.result) << c.id.size();
    }
    EXPECT_EQ(KeyListNames(), std::vector<std::string>{std::string(512, 'A')});

    CKeyRecord keyless;
    keyless.SetId("00A0B0C0D0E1");
    EXPECT_EQ(store.StoreKey(keyless), 0);
    EXPECT_EQ(store.LoadKeyList().size(), 1u);
}

// Another machine text on a store that keeps no verifier, as stores made before did: the
// masking arithmetic alone decides what is stored and read.
void UseUnverifiedMachineText(const std::string& text)
{
    SetMachineTextForTesting(text);
    CRegistryKey config;
    ASSERT_EQ(config.Open(kHKeyLocalMachine, CKeyStore::kConfigPath, kKeyAllAccess), 0);
    config.DeleteValue(CKeyStore::kVerifierValue);
}

TEST_F(KeyStoreTest, StoredBytesAreTheKeyPlusIdPlusMachineText)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    UseUnverifiedMachineText(std::string());
    std::string zeros(32, '\0');
    ASSERT_EQ(store.StoreKey(MakeRecord("A", zeros)), 1);
    EXPECT_EQ(StoredKey("A"), std::string(32, '\x41'));
    zeros[0] = '\xf0';
    ASSERT_EQ(store.StoreKey(MakeRecord("A", zeros)), 1);
    EXPECT_EQ(StoredKey("A")[0], '\x31');

    // With a machine text both texts repeat over the 32 bytes.
    UseUnverifiedMachineText(std::string("xyz"));
    const std::string key = KeyBytes(4, 4);
    ASSERT_EQ(store.StoreKey(MakeRecord("ab12", key)), 1);
    const std::string stored = StoredKey("AB12");
    const std::string id = "AB12";
    for (size_t i = 0; i < 32; ++i) {
        const int expected = (static_cast<unsigned char>(key[i]) + static_cast<unsigned char>(id[i % 4]) +
                              static_cast<unsigned char>("xyz"[i % 3])) &
                             0xFF;
        EXPECT_EQ(static_cast<unsigned char>(stored[i]), expected) << i;
    }
    EXPECT_EQ(store.LoadKeyList()["AB12"].GetKey().View(), key);

    // Unverified, the same entry would open to other bytes under another machine text.
    UseUnverifiedMachineText(std::string("other"));
    EXPECT_NE(store.LoadKeyList()["AB12"].GetKey().View(), key);
}

TEST_F(KeyStoreTest, ValuesThatDoNotFitOrHaveNoNameAreLeftOutAndTheRestStillListed)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    ASSERT_EQ(store.StoreKey(MakeRecord("AA", KeyBytes(1, 0))), 1);
    ASSERT_EQ(store.StoreKey(MakeRecord("CC", KeyBytes(1, 2))), 1);
    ASSERT_TRUE(WriteRaw(CKeyStore::kKeyListPath, "BB", std::string(33, 'b'), kRegBinary));
    ASSERT_TRUE(WriteRaw(CKeyStore::kKeyListPath, "BC", std::string(4096, 'b'), kRegBinary));
    // A value without a name (it sorts first) hides nothing.
    ASSERT_TRUE(WriteRaw(CKeyStore::kKeyListPath, "", std::string(32, 'e'), kRegBinary));
    const auto list = store.LoadKeyList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.at("AA").GetKey().View(), KeyBytes(1, 0));
    EXPECT_EQ(list.at("CC").GetKey().View(), KeyBytes(1, 2));
}

TEST_F(KeyStoreTest, TheListIsOrderedByBytesAndKeyedByTheEnumeratedName)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    for (const char* id : {"B", "AB", "A", "\xe4", "a0"}) {
        ASSERT_EQ(store.StoreKey(MakeRecord(id, KeyBytes(5, id[0]))), 1);
    }
    // A value written by someone else in lower case keeps that name in the map.
    CKeyRecord foreign = MakeRecord("zz", KeyBytes(6, 6));
    foreign.SetMachineText(kTestMachineText);
    foreign.SealForStorage();
    ASSERT_TRUE(WriteRaw(CKeyStore::kKeyListPath, "zz", std::string(foreign.GetKey().View()), kRegBinary));

    std::vector<std::string> order;
    for (const auto& [name, record] : store.LoadKeyList()) {
        order.push_back(name);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"A", "A0", "AB", "B", "zz", "\xe4"}));
    const auto list = store.LoadKeyList();
    EXPECT_EQ(list.at("zz").GetId(), "ZZ");
    EXPECT_EQ(list.at("zz").GetKey().View(), KeyBytes(6, 6));
}

TEST_F(KeyStoreTest, PortsAreTheLowSixteenBitsAndTextMustParseWhole)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    ASSERT_EQ(store.WritePort(70000), 1);
    EXPECT_EQ(store.ReadPort(), 4464);
    EXPECT_EQ(store.GetPortText(), "4464");
    std::string raw;
    ASSERT_TRUE(ReadRaw(CKeyStore::kConfigPath, "PortNo", raw));
    EXPECT_EQ(raw, std::string("\x70\x11\x00\x00", 4));

    struct Case
    {
        const char* text;
        int result;
        uint16_t port;
    };
    const Case cases[] = {
        {"8080", 1, 8080}, {"80 80", 0, 8080}, {"abc", 0, 8080}, {"510x", 0, 8080},
        {"", 0, 8080},     {"8081 ", 0, 8080}, {"65536", 1, 0},  {"99999999999", 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(store.SetPortFromText(c.text), c.result) << c.text;
        EXPECT_EQ(store.ReadPort(), c.port) << c.text;
    }
}

TEST_F(KeyStoreTest, PasswordsAreMaskedPositionWiseAndLimitedTo20Bytes)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    std::string raw;
    EXPECT_EQ(store.ReadPassword(), "") << "no value: no cooperation";

    ASSERT_EQ(store.WritePassword(""), 1);
    ASSERT_TRUE(ReadRaw(CKeyStore::kConfigPath, "BinData", raw));
    EXPECT_EQ(raw, "");
    EXPECT_EQ(store.ReadPassword(), "");

    const std::string twenty = "0123456789abcdefghij";
    ASSERT_EQ(store.WritePassword(twenty), 1);
    EXPECT_EQ(store.ReadPassword(), twenty);

    // Longer than 20 would be stored and read back as empty: refused, nothing written.
    EXPECT_EQ(store.WritePassword(twenty + "k"), 0);
    EXPECT_EQ(store.ReadPassword(), twenty);

    // A value of 21 bytes written by someone else reads as no password.
    ASSERT_TRUE(WriteRaw(CKeyStore::kConfigPath, "BinData", std::string(21, 'x'), kRegBinary));
    EXPECT_EQ(store.ReadPassword(), "");

    // Beyond the machine text the bytes are stored as they are; no repetition.
    UseUnverifiedMachineText(std::string("abc"));
    ASSERT_EQ(store.WritePassword("hello"), 1);
    ASSERT_TRUE(ReadRaw(CKeyStore::kConfigPath, "BinData", raw));
    EXPECT_EQ(raw, std::string({static_cast<char>('h' + 'a'), static_cast<char>('e' + 'b'),
                                static_cast<char>('l' + 'c'), 'l', 'o'}));
    EXPECT_EQ(store.ReadPassword(), "hello");
}

TEST_F(KeyStoreTest, RemoveLayoutDeletesTheProductKeyAndKeepsTheCompany)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    ASSERT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E0", KeyBytes(1, 1))), 1);
    ASSERT_EQ(store.WritePassword("pw"), 1);
    // Peer sync's keys, a peer and the ledger below them, go too.
    for (const auto& [parent, child] : {std::pair{CKeyStore::kProductPath, "Peers"},
                                        {CKeyStore::kPeersPath, "b"},
                                        {CKeyStore::kProductPath, "Sync"},
                                        {CKeyStore::kSyncPath, "Ledger"}}) {
        CRegistryKey below;
        ASSERT_EQ(below.Open(kHKeyLocalMachine, parent, kKeyAllAccess), 0);
        ASSERT_EQ(below.CreateSubkey(child, 0, nullptr, kKeyAllAccess, nullptr), 0);
    }
    EXPECT_EQ(store.RemoveLayout(), 1);
    EXPECT_EQ(store.LayoutExists(), 0);
    CRegistryKey key;
    EXPECT_EQ(key.Open(kHKeyLocalMachine, CKeyStore::kCompanyPath, kKeyRead), 0);
    EXPECT_EQ(key.SubkeyNameAt(0), "");
    EXPECT_EQ(store.RemoveLayout(), 0);

    // A subkey nobody expects stops it after the first two deletions.
    ASSERT_EQ(store.CreateLayout(), 1);
    CRegistryKey product;
    ASSERT_EQ(product.Open(kHKeyLocalMachine, CKeyStore::kProductPath, kKeyAllAccess), 0);
    ASSERT_EQ(product.CreateSubkey("Extra", 0, nullptr, kKeyAllAccess, nullptr), 0);
    EXPECT_EQ(store.RemoveLayout(), 0);
    EXPECT_EQ(product.SubkeyNameAt(0), "Extra");
    EXPECT_EQ(product.SubkeyNameAt(1), "");
}

TEST_F(KeyStoreTest, AnUninstallThatStopsPartWayLeavesNoKeyOfAnotherMachineReadable)
{
    for (const char* stop : {"corvanekeyserver\\keylist", "corvanekeyserver\\config", "corvanekeyserver"}) {
        SCOPED_TRACE(stop);
        SetMachineTextForTesting(std::string("another machine"));
        ASSERT_EQ(store.CreateLayout(), 1);
        ASSERT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E0", KeyBytes(1, 1))), 1);
        SetMachineTextForTesting(std::string(kTestMachineText));
        ASSERT_EQ(store.CheckMachineIdentity(), CKeyStore::Identity::Foreign);
        CCountingStore failing(Store());
        failing.failDeletesOf = stop;
        SetSettingsStoreForTesting(&failing);
        EXPECT_EQ(store.RemoveLayout(), 0);
        SetSettingsStoreForTesting(&Store());
        // What the key service does when it starts on what is left.
        store.Prepare();
        EXPECT_TRUE(store.CheckMachineIdentity() == CKeyStore::Identity::Foreign || store.LoadKeyList().empty());
        ASSERT_EQ(store.RemoveLayout(), 1);
    }
}

TEST_F(KeyStoreTest, WritesThatFailReportZero)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    CCountingStore failing(Store());
    failing.failWrites = true;
    SetSettingsStoreForTesting(&failing);
    EXPECT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E0", KeyBytes(1, 1))), 0);
    EXPECT_EQ(store.StoreKeys({MakeRecord("A1", KeyBytes(1, 1)), MakeRecord("A2", KeyBytes(1, 2))}),
              std::vector<int>({0, 0}));
    EXPECT_EQ(store.WritePort(1), 0);
    EXPECT_EQ(store.SetPortFromText("2"), 0);
    EXPECT_EQ(store.WritePassword("pw"), 0);
    EXPECT_EQ(store.CreateLayout(), 0);
    EXPECT_EQ(store.RemoveLayout(), 0);
    SetSettingsStoreForTesting(&Store());
    EXPECT_EQ(store.ReadPort(), 51056);
    EXPECT_TRUE(store.LoadKeyList().empty());
}

TEST_F(KeyStoreTest, StoreKeysStoresEveryStorableRecordInOneChange)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    // The version moves by the number of changes since the last one of the key list.
    ASSERT_EQ(store.StoreKey(MakeRecord("00A0B0C0D0E0", KeyBytes(2, 0))), 1);
    const uint64_t before = store.KeyListVersion();
    const std::vector<CKeyRecord> records = {MakeRecord("00a0b0c0d0e1", KeyBytes(2, 1)), MakeRecord("", KeyBytes(2, 2)),
                                             MakeRecord(std::string(513, 'L'), KeyBytes(2, 3)),
                                             MakeRecord("00A0B0C0D0E4", KeyBytes(2, 4))};
    EXPECT_EQ(store.StoreKeys(records), std::vector<int>({1, 0, 0, 1}));
    EXPECT_EQ(store.KeyListVersion() - before, 1u) << "one change for the whole batch";
    const auto list = store.LoadKeyList();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.at("00A0B0C0D0E1").GetKey().View(), KeyBytes(2, 1));
    EXPECT_EQ(list.at("00A0B0C0D0E4").GetKey().View(), KeyBytes(2, 4));
}

TEST_F(KeyStoreTest, ReadKeyListTellsAFailureFromAnEmptyList)
{
    std::map<std::string, CKeyRecord> list = {{"KEPT", MakeRecord("KEPT", KeyBytes(3, 1))}};
    EXPECT_EQ(store.ReadKeyList(list), 1) << "no key list holds no keys";
    EXPECT_TRUE(list.empty());
    ASSERT_EQ(store.CreateLayout(), 1);
    ASSERT_EQ(store.StoreKey(MakeRecord("B1", KeyBytes(3, 2))), 1);
    CCountingStore failing(Store());
    failing.failOpensOf = LowerAscii(CKeyStore::kKeyListPath);
    failing.failOpens = 1;
    SetSettingsStoreForTesting(&failing);
    list = {{"KEPT", MakeRecord("KEPT", KeyBytes(3, 1))}};
    EXPECT_EQ(store.ReadKeyList(list), 0);
    EXPECT_EQ(list.count("KEPT"), 1u) << "a failed read leaves the list as it was";
    EXPECT_EQ(store.ReadKeyList(list), 1);
    SetSettingsStoreForTesting(&Store());
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(list.count("B1"), 1u);
}

TEST_F(KeyStoreTest, KeyListVersionFollowsEveryChangeOfTheKeyListAndTheProductKey)
{
    const uint64_t start = store.KeyListVersion();
    ASSERT_EQ(store.CreateLayout(), 1);
    uint64_t last = store.KeyListVersion();
    EXPECT_NE(last, start);
    auto changed = [&]() {
        const uint64_t now = store.KeyListVersion();
        const bool result = now != last;
        last = now;
        return result;
    };
    ASSERT_EQ(store.StoreKey(MakeRecord("A1", KeyBytes(1, 1))), 1);
    EXPECT_TRUE(changed());
    ASSERT_EQ(store.StoreKey(MakeRecord("A1", KeyBytes(1, 2))), 1);
    EXPECT_TRUE(changed());
    ASSERT_EQ(store.WritePort(1234), 1);
    EXPECT_FALSE(changed()) << "a change of Config is not one of the key list";
    ASSERT_EQ(store.DeleteKey("A1"), 1);
    EXPECT_TRUE(changed());
    ASSERT_EQ(store.RemoveLayout(), 1);
    EXPECT_TRUE(changed());
    // The product key alone, without a key list.
    CRegistryKey company;
    ASSERT_EQ(company.Open(kHKeyLocalMachine, CKeyStore::kCompanyPath, kKeyAllAccess), 0);
    ASSERT_EQ(company.CreateSubkey("CorvaneKeyServer", 0, nullptr, kKeyAllAccess, nullptr), 0);
    EXPECT_TRUE(changed());
    ASSERT_EQ(company.DeleteSubkey("CorvaneKeyServer"), 0);
    EXPECT_TRUE(changed());
    EXPECT_FALSE(changed());
}

TEST_F(KeyStoreTest, MachineTextIsTheTrimmedMachineIdAndFilledOnceForAllThreads)
{
    SetMachineTextForTesting(std::nullopt);
    const std::string identity = Platform::ReadMachineIdentity();
    std::vector<std::string> seen(8);
    std::vector<std::thread> threads;
    for (auto& text : seen) {
        threads.emplace_back([&text] { text = GetMachineText(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto& text : seen) {
        EXPECT_EQ(text, identity);
    }
    if (!identity.empty()) {
        EXPECT_EQ(identity.find_first_of(" \t\r\n"), std::string::npos);
    }
    SetMachineTextForTesting(std::string("forced"));
    EXPECT_EQ(GetMachineText(), "forced");
    SetMachineTextForTesting(std::nullopt);
    EXPECT_EQ(GetMachineText(), identity);
}

TEST_F(KeyStoreTest, ManyThreadsStoreAndLoadAtOnce)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    constexpr int kThreads = 4;
    constexpr int kKeys = 40;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            CKeyStore local;
            for (int i = 0; i < kKeys; ++i) {
                if (local.StoreKey(MakeRecord("T" + std::to_string(t) + "-" + std::to_string(i), KeyBytes(t, i))) !=
                    1) {
                    ++failures;
                }
                for (const auto& [name, record] : local.LoadKeyList()) {
                    if (!record.HasKey()) {
                        ++failures;
                    }
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    const auto list = store.LoadKeyList();
    ASSERT_EQ(list.size(), static_cast<size_t>(kThreads * kKeys));
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kKeys; ++i) {
            EXPECT_EQ(list.at("T" + std::to_string(t) + "-" + std::to_string(i)).GetKey().View(), KeyBytes(t, i));
        }
    }
}

} // namespace
