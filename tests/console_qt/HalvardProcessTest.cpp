#include "Harness.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
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
std::unique_ptr<Harness::CChildProcess> StartHalvard(const std::string& stateDir)
{
    Harness::CChildProcess::SOptions options;
    options.environment = Harness::ChildEnvironment(stateDir, "");
    options.environment.push_back("QT_QPA_PLATFORM=offscreen");
    auto halvard = std::make_unique<Harness::CChildProcess>();
    EXPECT_TRUE(halvard->Start({HALVARD_PATH}, options));
    return halvard;
}

TEST(HalvardProcess, ASecondStartEndsAtOnceWhileTheFirstShowsTheMainDialog)
{
    if (InstanceNameHeld())
        GTEST_SKIP() << "a console runs on this machine";
    Harness::CTempDir dir;
    const auto first = StartHalvard(dir.Path());
    const auto deadline = Harness::Clock::now() + 20s;
    // The instance name is taken first; then the main dialog prepares the store, and only
    // then can a key be stored.
    const std::string key(64, '5');
    while (!InstanceNameHeld() || Harness::StoreTool(dir.Path(), {"key", "00A0B0C0D0E0", key}) != 0) {
        ASSERT_GT(Harness::RemainingMs(deadline), 0) << "the first console did not come up";
        ASSERT_FALSE(first->WaitExit(0)) << "the first console ended";
        std::this_thread::sleep_for(50ms);
    }

    const auto second = StartHalvard(dir.Path());
    const std::optional<int> status = second->WaitExit(20000);
    ASSERT_TRUE(status) << "the second console did not end";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    EXPECT_FALSE(first->WaitExit(0)) << "the first console ended";
}

} // namespace
