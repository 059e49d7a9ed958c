#include "Harness.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Whether a process of this machine holds the console's single-instance name.
bool InstanceNameHeld()
{
    std::ifstream sockets("/proc/net/unix");
    std::string line;
    while (std::getline(sockets, line)) {
        if (line.ends_with(" @Corvane_Halvard"))
            return true;
    }
    return false;
}

// The real program, offscreen, on a private store.
class CHalvard
{
public:
    explicit CHalvard(const std::string& stateDir)
    {
        std::vector<std::string> argv{HALVARD_PATH};
        auto environment = Harness::ChildEnvironment(stateDir, "");
        environment.push_back("QT_QPA_PLATFORM=offscreen");
        auto argPointers = Harness::Pointers(argv);
        auto envPointers = Harness::Pointers(environment);
        if (posix_spawn(&m_pid, argv[0].c_str(), nullptr, nullptr, argPointers.data(), envPointers.data()) != 0)
            m_pid = -1;
    }
    ~CHalvard()
    {
        if (m_pid > 0 && !m_status) {
            kill(m_pid, SIGKILL);
            WaitExit(10000);
        }
    }
    CHalvard(const CHalvard&) = delete;
    CHalvard& operator=(const CHalvard&) = delete;

    std::optional<int> WaitExit(int timeOutMs)
    {
        const auto deadline = Harness::Clock::now() + std::chrono::milliseconds(timeOutMs);
        while (!m_status && m_pid > 0) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid)
                m_status = status;
            else if (Harness::RemainingMs(deadline) == 0)
                break;
            else
                std::this_thread::sleep_for(20ms);
        }
        return m_status;
    }

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

TEST(HalvardProcess, ASecondStartEndsAtOnceWhileTheFirstShowsTheMainDialog)
{
    if (InstanceNameHeld())
        GTEST_SKIP() << "a console runs on this machine";
    Harness::CTempDir dir;
    CHalvard first(dir.Path());
    const auto deadline = Harness::Clock::now() + 20s;
    // The instance name is taken first; then the main dialog prepares the store, and only
    // then can a key be stored.
    const std::string key(64, '5');
    while (!InstanceNameHeld() || Harness::StoreTool(dir.Path(), {"key", "00A0B0C0D0E0", key}) != 0) {
        ASSERT_GT(Harness::RemainingMs(deadline), 0) << "the first console did not come up";
        ASSERT_FALSE(first.WaitExit(0)) << "the first console ended";
        std::this_thread::sleep_for(50ms);
    }

    CHalvard second(dir.Path());
    const std::optional<int> status = second.WaitExit(20000);
    ASSERT_TRUE(status) << "the second console did not end";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    EXPECT_FALSE(first.WaitExit(0)) << "the first console ended";
}

} // namespace
