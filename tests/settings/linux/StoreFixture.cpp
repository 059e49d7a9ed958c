#include "StoreTestSupport.h"
#include "settings/CRegistryKey.h"
#include "settings/CSettingsStore.h"
#include "settings/MachineText.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

void StoreTest::SetUp()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-store-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_root = pattern;
    m_stateDir = m_root + "/state";
    m_store = std::make_unique<CSqliteStore>(m_stateDir);
    SetSettingsStoreForTesting(m_store.get());
    SetMachineTextForTesting(std::string(kTestMachineText));
}

void StoreTest::TearDown()
{
    SetSettingsStoreForTesting(nullptr);
    m_store.reset();
    SetMachineTextForTesting(std::nullopt);
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

pid_t SpawnHelper(const std::string& stateDir, const std::vector<std::string>& args, int reportFd)
{
    // Everything the child needs is built before fork: only async-signal-safe calls after.
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string_view(*e).substr(0, 18) != "CORVANE_STATE_DIR=") {
            envStrings.emplace_back(*e);
        }
    }
    envStrings.push_back("CORVANE_STATE_DIR=" + stateDir);
    std::vector<char*> envp;
    for (auto& s : envStrings) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argStrings = {"settings_tests", "--store-helper"};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argStrings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        return -1;
    }
    self[n] = '\0';

    const pid_t pid = fork();
    if (pid == 0) {
        if (reportFd >= 0) {
            if (reportFd != 3) {
                dup2(reportFd, 3);
            } else {
                // Keep it open across exec.
                fcntl(3, F_SETFD, 0);
            }
        }
        execve(self, argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

int WaitHelper(pid_t pid, int timeoutSeconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (WIFEXITED(status)) {
                return WEXITSTATUS(status);
            }
            return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
        }
        if (done < 0 && errno != EINTR) {
            return -1;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int RunHelper(const std::string& stateDir, const std::vector<std::string>& args)
{
    const pid_t pid = SpawnHelper(stateDir, args);
    return pid > 0 ? WaitHelper(pid) : -1;
}
