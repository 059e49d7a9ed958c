#include "CTernwickProcess.h"

#include "Harness.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace Harness {

CTernwickProcess::CTernwickProcess(const std::string& stateDir, const std::string& notifySocket, int descriptorLimit,
                                   const std::string& logPath, const std::string& machineIdFile)
    : m_logPath(logPath.empty() ? stateDir + "/ternwick.log" : logPath)
{
    std::vector<std::string> argv{TERNWICK_PATH};
    if (descriptorLimit > 0) {
        // prlimit sets the limit and execs the service in its own process.
        const std::string limit = std::to_string(descriptorLimit);
        argv = {"/usr/bin/prlimit", "--nofile=" + limit + ":" + limit, TERNWICK_PATH};
    }
    if (!machineIdFile.empty()) {
        argv = UnderMachineIdentity(machineIdFile, argv);
    }
    auto argPointers = Pointers(argv);
    auto environment = ChildEnvironment(stateDir, notifySocket);
    auto envPointers = Pointers(environment);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // The test runner may block signals; the service must start with a clean mask.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    if (posix_spawn(&m_pid, argv[0].c_str(), &actions, &attributes, argPointers.data(), envPointers.data()) != 0) {
        m_pid = -1;
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
}

CTernwickProcess::~CTernwickProcess()
{
    if (m_pid > 0 && !m_status) {
        kill(m_pid, SIGKILL);
        WaitExit(10000);
    }
}

void CTernwickProcess::Signal(int signalNumber) const
{
    if (m_pid > 0) {
        kill(m_pid, signalNumber);
    }
}

std::optional<int> CTernwickProcess::WaitExit(int timeOutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeOutMs);
    while (!m_status && m_pid > 0) {
        int status = 0;
        const pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_status = status;
            break;
        }
        if (RemainingMs(deadline) == 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return m_status;
}

std::string CTernwickProcess::Log() const
{
    // Opening a FIFO to read would block, and reading it would take the lines away.
    struct stat info
    {};
    if (stat(m_logPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return "";
    }
    std::ifstream file(m_logPath);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

size_t CTernwickProcess::CountLog(const std::string& text) const
{
    std::istringstream lines(Log());
    std::string line;
    size_t count = 0;
    while (std::getline(lines, line)) {
        if (line.find(text) != std::string::npos) {
            ++count;
        }
    }
    return count;
}

bool CTernwickProcess::WaitForLog(const std::string& text, size_t count, int timeOutMs) const
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeOutMs);
    while (CountLog(text) < count) {
        if (RemainingMs(deadline) == 0) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

long CTernwickProcess::StatusField(const std::string& field) const
{
    std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return -1;
}

long CTernwickProcess::ThreadCount() const
{
    return StatusField("Threads");
}

} // namespace Harness
