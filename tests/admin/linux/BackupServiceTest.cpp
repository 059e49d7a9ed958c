// export and import on Linux: the file's mode, and the real programs on a store of another
// machine identity.
#include "BackupTest.h"
#include "Wire.h"

#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

// Wine makes up a file's access list from its mode, so the owner-only list of the Windows
// export is not seen there.
TEST_F(BackupTest, AnExportIsOwnerOnly)
{
    ASSERT_EQ(Run({"export", "--stdin", Export()}, kPassphrase), 0) << err;
    struct stat info
    {};
    ASSERT_EQ(stat(Export().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(Run({"export", "--stdin", "--force", Export()}, kPassphrase), 0) << err;
    ASSERT_EQ(stat(Export().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// The whole way, with the real programs: a store whose machine identity changed refuses to
// serve, and an export imported there serves the same keys again, byte for byte.
TEST_F(BackupTest, AStoreOfAnotherMachineIsRefusedByTheServiceUntilAnExportIsImported)
{
    if (!Harness::CanChangeMachineIdentity()) {
        GTEST_SKIP() << "needs root and mount namespaces to give the programs another machine identity";
    }
    const uint16_t port = Harness::FreePort();
    ASSERT_EQ(store.WritePort(port), 1);
    const SProgramRun exported = RunAdminProgram(StateDir(), {"export", "--stdin", Export()}, {false, "", kPassphrase});
    ASSERT_EQ(exported.status, 0) << exported.err;
    const std::string otherMachine = m_exports.Path() + "/machine-id";
    std::ofstream(otherMachine) << "0123456789abcdef0123456789abcdef\n";

    {
        Harness::CTernwickProcess refused(StateDir(), "", 0, "", otherMachine);
        const auto status = refused.WaitExit(20000);
        ASSERT_TRUE(status) << refused.Log();
        EXPECT_EQ(WEXITSTATUS(*status), 78) << refused.Log();
        EXPECT_EQ(refused.CountLog("cannot start: "), 1u) << refused.Log();
        EXPECT_EQ(refused.CountLog("store belongs to another machine identity"), 1u) << refused.Log();
        EXPECT_FALSE(Harness::CanConnect(port));
    }
    const SProgramRun listed = RunAdminProgram(StateDir(), {"list"}, {false, otherMachine, ""});
    EXPECT_EQ(listed.status, 1);
    EXPECT_NE(listed.err.find("store belongs to another machine identity"), std::string::npos) << listed.err;
    const SProgramRun imported =
        RunAdminProgram(StateDir(), {"import", "--yes", "--stdin", Export()}, {false, otherMachine, kPassphrase});
    ASSERT_EQ(imported.status, 0) << imported.err;

    uint16_t serving = 0;
    const auto service = StartService(serving, otherMachine);
    for (unsigned char seed = 1; seed <= 3; ++seed) {
        const std::string id = "00A0B0C0D0E" + std::to_string(seed);
        const std::string reply = Harness::Converse(serving, Wire::Request(16) + Wire::Data(id) +
                                                                 Wire::Data("unit-mask") + Wire::Ack() + Wire::Ack());
        EXPECT_EQ(Wire::Hex(reply), Wire::Hex(Wire::Ack() + Wire::Ack() + Wire::Ack() + ServedKey(id, seed))) << id;
    }
}

} // namespace
