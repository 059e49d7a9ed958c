#include "CSystemdSandbox.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <stdexcept>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Reads both pipes to their end without letting either fill up.
void Drain(int outFd, int errFd, std::string& out, std::string& err)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

CSystemdSandbox::Result RunCaptured(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv)
{
    CSystemdSandbox::Result result;
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        return result;
    }
    std::vector<std::string> environment(extraEnv);
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::string_view(*entry).rfind("SANDBOX_", 0) != 0) {
            environment.emplace_back(*entry);
        }
    }
    std::vector<char*> args;
    std::vector<char*> envs;
    for (const auto& text : argv) {
        args.push_back(const_cast<char*>(text.c_str()));
    }
    for (const auto& text : environment) {
        envs.push_back(const_cast<char*>(text.c_str()));
    }
    args.push_back(nullptr);
    envs.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envs.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned == 0) {
        Drain(outPipe[0], errPipe[0], result.out, result.err);
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    close(outPipe[0]);
    close(errPipe[0]);
    return result;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

CSystemdSandbox::CSystemdSandbox(const std::string& script, const std::string& stage) : m_script(script), m_stage(stage)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-sandbox-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_dir = pattern;
    const Result started = Script({"start"});
    m_booted = started.status == 0;
    if (started.status == 77) {
        m_skipReason = started.err;
    }
    m_bootLog = started.err + ReadFile(m_dir + "/console.log");
}

CSystemdSandbox::~CSystemdSandbox()
{
    Script({"stop"});
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

CSystemdSandbox::Result CSystemdSandbox::Exec(const std::vector<std::string>& command) const
{
    std::vector<std::string> arguments{"exec"};
    arguments.insert(arguments.end(), command.begin(), command.end());
    return Script(arguments);
}

bool CSystemdSandbox::EnterNetwork() const
{
    const std::string pid = ReadFile(m_dir + "/pid");
    const int fd = open(("/proc/" + pid.substr(0, pid.find('\n')) + "/ns/net").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool entered = setns(fd, CLONE_NEWNET) == 0;
    close(fd);
    return entered;
}

CSystemdSandbox::Result CSystemdSandbox::Script(const std::vector<std::string>& arguments) const
{
    std::vector<std::string> argv{"/bin/bash", m_script};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunCaptured(argv, {"SANDBOX_DIR=" + m_dir, "SANDBOX_STAGE=" + m_stage});
}
