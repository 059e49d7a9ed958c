#include "ConsoleTest.h"
#include "console/CConsoleApp.h"
#include "console/lockkey/CStorageSystem.h"

#include <csignal>
#include <unistd.h>

namespace {

class StartupTest : public ConsoleTest
{
protected:
    // What a helper process printed until it ended.
    std::string RunHelperToEnd(const std::string& user, const std::string& mode)
    {
        const auto helper = SpawnHelper(StateDir(), {user, mode, m_lockName}, true);
        std::string printed;
        for (std::string line = ReadLine(*helper, 20000); !line.empty(); line = ReadLine(*helper, 20000)) {
            printed += line + "\n";
        }
        EXPECT_EQ(WaitHelper(*helper), printed == "cannot change user\n" ? 100 : 0);
        return printed;
    }

    const std::string m_lockName = "Corvane_Halvard_test_" + std::to_string(getpid());
};

TEST_F(StartupTest, OneInstanceForEveryUserUntilItsProcessEndsHoweverItEnds)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run a helper as another user";
    }
    const auto holder = SpawnHelper(StateDir(), {"nobody", "hold", m_lockName}, true);
    const std::string first = ReadLine(*holder, 20000);
    if (first == "cannot change user") {
        WaitHelper(*holder);
        GTEST_SKIP() << "this environment does not let root change its user";
    }
    ASSERT_EQ(first, "acquired");
    {
        CConsoleApp app(tasks, CStorageSystem::Default(), m_lockName);
        EXPECT_EQ(app.Start(), EStartOutcome::AlreadyRunning) << "another user's console holds the name";
    }
    holder->Signal(SIGKILL);
    EXPECT_EQ(WaitHelper(*holder), 128 + SIGKILL);

    CConsoleApp app(tasks, CStorageSystem::Default(), m_lockName);
    EXPECT_EQ(app.Start(), EStartOutcome::Admitted) << "the killed holder's name is free again";
    EXPECT_EQ(RunHelperToEnd("nobody", "hold"), "held elsewhere\n");
    // The instance test comes before the administrator check: no message for a second start.
    EXPECT_EQ(RunHelperToEnd("nobody", "start"), "end\n");
}

TEST_F(StartupTest, AUserWhoCannotChangeTheStoreIsRefusedWithMessage102AndNoWindow)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run a helper as another user";
    }
    ASSERT_TRUE(Tool({"layout"}));
    const std::string printed = RunHelperToEnd("nobody", "start");
    if (printed == "cannot change user\n") {
        GTEST_SKIP() << "this environment does not let root change its user";
    }
    EXPECT_EQ(printed, "message 102 stop\nend\n");
    EXPECT_EQ(RunHelperToEnd("self", "start"), "main dialog\nend\n");
}

} // namespace
