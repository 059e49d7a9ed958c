// Oxlade.exe's boxes where the key service is not needed: the help for anything but a
// command word, what it says of a service that is not installed, and an install whose
// service cannot start, which leaves the service installed for the uninstall to remove.
#include "OxladeRun.h"
#include "control/win32/CScmServiceManager.h"
#include "platform/ServiceStatus.h"
#include "platform/win32/Win32.h"

#include <gtest/gtest.h>

namespace {

class OxladeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // No Ternwick.exe beside it.
        m_oxlade = StageOxlade("corvane-oxlade-alone");
        CScmServiceManager manager;
        ASSERT_TRUE(manager.Open());
        ASSERT_NE(manager.OpenExisting(), 0u) << "a service Ternwick is installed already";
        // No key store at all: an uninstall would first keep a copy of the keys of one,
        // which the registry cannot give.
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quillon\\CorvaneKeyServer");
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quillon\\CorvaneKeyServer");
    }
    void TearDown() override
    {
        CScmServiceManager manager;
        if (manager.Open() && manager.OpenExisting() == 0) {
            manager.Delete();
        }
        std::error_code ignored;
        std::filesystem::remove_all(m_oxlade.parent_path(), ignored);
    }

    std::filesystem::path m_oxlade;
};

TEST_F(OxladeTest, AnythingButACommandWordShowsTheHelp)
{
    for (const char* line : {"", "restart", "install now"}) {
        const SOxladeRun help = RunOxlade(m_oxlade, line, {"Oxlade - Help"});
        EXPECT_EQ(help.exitCode, 1u) << line;
        EXPECT_EQ(help.text.rfind("Usage : Oxlade COMMAND\n\nFollowing COMMANDs are available.\n", 0), 0u) << line;
    }
}

TEST_F(OxladeTest, ServiceThatIsNotInstalledOrCannotStart)
{
    struct Case
    {
        const char* word;
        unsigned long exitCode;
        const char* caption;
        const char* text;
    };
    const Case missing[] = {
        {"start", 1, "Oxlade",
         "Error Info: The service is not installed: install it with 'Oxlade install' "
         "(Can't open Service!! - 1060)\n"},
        {"status", 1, "Oxlade", "The service is not installed: 'Oxlade install' installs and starts it.\n"},
        {"uninstall", 0, "Oxlade", "The service is not installed: nothing to uninstall.\n"},
    };
    for (const Case& c : missing) {
        const SOxladeRun run = RunOxlade(m_oxlade, c.word, {c.caption});
        EXPECT_EQ(run.exitCode, c.exitCode) << c.word;
        EXPECT_EQ(run.text, c.text) << c.word;
    }

    // The service is created, but its program is not there: the start fails with the
    // system's error number, and the service stays installed.
    const SOxladeRun install = RunOxlade(m_oxlade, "install", {"Oxlade"});
    EXPECT_EQ(install.exitCode, 1u);
    EXPECT_EQ(install.text.rfind("Error Info: Can't Start Service!! - ", 0), 0u) << install.text;
    {
        // Handles closed before the uninstall: a service is gone once none is open.
        CScmServiceManager manager;
        ASSERT_TRUE(manager.Open());
        ASSERT_EQ(manager.OpenExisting(), 0u);
        uint32_t state = 0;
        ASSERT_TRUE(manager.QueryStatus(state));
        EXPECT_EQ(state, kServiceStopped);
    }
    const SOxladeRun status = RunOxlade(m_oxlade, "status", {"Oxlade - Status"});
    EXPECT_EQ(status.exitCode, 0u);
    EXPECT_EQ(status.text, "The service is not running.\n");

    const SOxladeRun uninstall = RunOxlade(m_oxlade, "uninstall", {"Oxlade"});
    EXPECT_EQ(uninstall.exitCode, 0u) << uninstall.text;
    CScmServiceManager after;
    ASSERT_TRUE(after.Open());
    EXPECT_EQ(after.OpenExisting(), CServiceManager::kErrorNoSuchService);
}

} // namespace
