// The test program's own main, with a helper mode for tests that need another process,
// optionally as an unprivileged user:
//   --console-helper nobody|self hold LOCKNAME   takes the lock, says so, holds it until killed
//   --console-helper nobody|self start LOCKNAME  runs the start-up, prints what it showed
#include "console/CConsoleApp.h"
#include "console/CConsoleTasks.h"
#include "console/CStartupView.h"
#include "console/lockkey/CStorageSystem.h"
#include "settings/CKeyStore.h"

#include <cstdio>
#include <grp.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace {

class CPrintingStartupView : public CStartupView
{
public:
    EMessageAnswer ShowMessage(const SConsoleMessage& message) override
    {
        std::printf("message %d%s\n", static_cast<int>(message.id),
                    message.style == EMessageStyle::Error ? " stop" : "");
        return EMessageAnswer::Ok;
    }
    void RunMainDialog(CMainDialog&) override { std::printf("main dialog\n"); }
};

int RunHelper(const std::string& user, const std::string& mode, const std::string& lockName)
{
    if (user == "nobody" && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
        std::printf("cannot change user\n");
        return 100;
    }
    if (mode == "hold") {
        CSingleInstanceLock lock(lockName);
        const ELockOutcome outcome = lock.Acquire();
        std::printf("%s\n", outcome == ELockOutcome::Acquired        ? "acquired"
                            : outcome == ELockOutcome::HeldElsewhere ? "held elsewhere"
                                                                     : "create failed");
        std::fflush(stdout);
        if (outcome == ELockOutcome::Acquired) {
            pause();
        }
        return 0;
    }
    if (mode == "start") {
        CKeyStore store;
        CConsoleTasks tasks(store);
        CConsoleApp app(tasks, CStorageSystem::Default(), lockName);
        CPrintingStartupView view;
        app.Run(view);
        std::printf("end\n");
        return 0;
    }
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[1]) == "--console-helper") {
        return RunHelper(argv[2], argv[3], argv[4]);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
