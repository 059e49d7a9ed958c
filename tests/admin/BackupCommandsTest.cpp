// export and import: a sealed copy of the whole key store, restored on any machine, all of
// it or nothing.
#include "BackupTest.h"
#include "Wire.h"
#include "settings/MachineText.h"
#include "sync/CPeerStore.h"

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

TEST_F(BackupTest, AnExportReplacesAFileOnlyWithForce)
{
    ASSERT_EQ(Run({"export", "--stdin", Export()}, kPassphrase), 0) << err;
    EXPECT_EQ(out, "Exported 3 registrations, port 4321, cooperation permitted to " + Export() +
                       ".\nKeep the passphrase apart from the file: without it nothing can be restored.\n");
    const std::string first = FileBytes(Export());

    EXPECT_EQ(Run({"export", "--stdin", Export()}, kPassphrase), 1);
    EXPECT_EQ(err, "corvane-admin: " + Export() + " exists already: name a new file, or add --force to replace it\n");
    EXPECT_EQ(FileBytes(Export()), first);
    EXPECT_EQ(Run({"export", "--stdin", "--force", Export()}, kPassphrase), 0) << err;
    EXPECT_NE(FileBytes(Export()), first) << "a fresh salt";
    EXPECT_EQ(Run({"export", "--stdin", m_exports.Path() + "/short.cvk"}, "short\n"), 1);
    EXPECT_FALSE(fs::exists(m_exports.Path() + "/short.cvk"));
    EXPECT_EQ(FileBytes(Export()).find("coop"), std::string::npos) << "the password in the clear";
}

TEST_F(BackupTest, AnImportThatCannotBeOpenedStoresNothingAndAGoodOneRestoresAnotherMachinesStore)
{
    ASSERT_EQ(Run({"export", "--stdin", Export()}, kPassphrase), 0) << err;
    const std::string sealed = FileBytes(Export());
    // The machine's identity changed (a reinstall): the store's keys cannot be read now.
    SetMachineTextForTesting(std::string("a reinstalled machine"));
    EXPECT_EQ(Run({"list"}), 1);
    EXPECT_NE(err.find("store belongs to another machine identity"), std::string::npos) << err;

    std::string newer = sealed;
    newer[9] = 7;
    std::string flipped = sealed;
    flipped[sealed.size() / 2] ^= 0x40;
    const struct
    {
        const char* name;
        std::string file;
        std::string passphrase;
        std::string said;
    } refused[] = {
        {"wrong passphrase", sealed, "another passphrase\n", "the passphrase is wrong, or "},
        {"a flipped byte", flipped, kPassphrase, "was altered"},
        {"cut short", sealed.substr(0, sealed.size() - 3), kPassphrase, "is cut short"},
        {"a newer format", newer, kPassphrase, "was written by a newer version (format 7; this one reads format 1)"},
        {"no export", "hello", kPassphrase, "is not a sealed export"},
    };
    const std::string file = m_exports.Path() + "/bad.cvk";
    for (const auto& test : refused) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << test.file;
        EXPECT_EQ(Run({"import", "--yes", "--stdin", file}, test.passphrase), 1) << test.name;
        EXPECT_NE(err.find(test.said), std::string::npos) << test.name << ": " << err;
        EXPECT_NE(err.find("nothing imported"), std::string::npos) << test.name;
        EXPECT_EQ(store.CheckMachineIdentity(), CKeyStore::Identity::Foreign) << test.name;
    }

    // Without a terminal, replacing the whole store needs --yes.
    EXPECT_EQ(Run({"import", "--stdin", Export()}, kPassphrase), 1);
    EXPECT_EQ(store.CheckMachineIdentity(), CKeyStore::Identity::Foreign);
    ASSERT_EQ(Run({"import", "--yes", "--stdin", Export()}, kPassphrase), 0) << err;
    EXPECT_NE(out.find("Imported 3 registrations, port 4321, cooperation permitted.\n"), std::string::npos) << out;
    for (unsigned char seed = 1; seed <= 3; ++seed) {
        EXPECT_EQ(KeyOf("00A0B0C0D0E" + std::to_string(seed)), Wire::Key(seed));
    }
    EXPECT_EQ(store.ReadPassword(), "coop");
    EXPECT_EQ(store.ReadPort(), 4321);
    EXPECT_EQ(portsFollowed, std::vector<uint16_t>{4321});
}

TEST_F(BackupTest, AnImportAsksBeforeReplacingRegisteredKeys)
{
    ASSERT_EQ(Run({"export", "--stdin", Export()}, kPassphrase), 0) << err;
    Register("00A0B0C0D0E1", 9);
    ASSERT_EQ(Run({"delete", "--yes", "00A0B0C0D0E2"}), 0);
    terminal.interactive = true;
    terminal.typed = {"a long passphrase", "n"};
    EXPECT_EQ(Run({"import", Export()}), 1);
    EXPECT_EQ(terminal.asked.back(),
              "00A0B0C0D0E1 and 00A0B0C0D0E3 are registered here already. Replace with the keys of " + Export() + "?");
    EXPECT_EQ(KeyOf("00A0B0C0D0E1"), Wire::Key(9));
    EXPECT_EQ(KeyOf("00A0B0C0D0E2"), "");
    terminal.typed = {"a long passphrase", "y"};
    ASSERT_EQ(Run({"import", Export()}), 0) << err;
    EXPECT_NE(out.find("(2 replaced)"), std::string::npos) << out;
    EXPECT_EQ(KeyOf("00A0B0C0D0E1"), Wire::Key(1));
    EXPECT_EQ(KeyOf("00A0B0C0D0E2"), Wire::Key(2));
}

TEST_F(BackupTest, PeersTravelWithTheExportAndComeBackWithTheirSecrets)
{
    ASSERT_EQ(Run({"peer", "add", "b", "192.0.2.7:4000"}), 0) << err;
    const std::string secret = CPeerStore().List()->front().secret;
    ASSERT_EQ(Run({"export", "--stdin", Export()}, kPassphrase), 0) << err;
    EXPECT_NE(out.find("cooperation permitted and 1 peer to "), std::string::npos) << out;
    ASSERT_EQ(Run({"peer", "remove", "b"}), 0) << err;
    ASSERT_EQ(Run({"peer", "add", "c", "192.0.2.8"}), 0) << err;

    ASSERT_EQ(Run({"import", "--yes", "--stdin", Export()}, kPassphrase), 0) << err;
    EXPECT_NE(out.find("Imported 3 registrations, port 4321, cooperation permitted and 1 peer"), std::string::npos)
        << out;
    const auto peers = CPeerStore().List();
    ASSERT_TRUE(peers);
    ASSERT_EQ(peers->size(), 2u) << "a peer the export does not name stays";
    EXPECT_EQ(peers->front().name, "b");
    EXPECT_EQ(peers->front().host, "192.0.2.7");
    EXPECT_EQ(peers->front().port, 4000);
    EXPECT_EQ(peers->front().secret, secret);

    // A store of another machine identity is replaced whole: its peers' secrets cannot be read.
    SetMachineTextForTesting(std::string("a reinstalled machine"));
    ASSERT_EQ(Run({"import", "--yes", "--stdin", Export()}, kPassphrase), 0) << err;
    ASSERT_EQ(CPeerStore().List()->size(), 1u);
    EXPECT_EQ(CPeerStore().List()->front().secret, secret);
}

} // namespace
