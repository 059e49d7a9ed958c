#include "CSystemdSandbox.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <spawn.h>
#include <stdexcept>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Standard output through a pipe, standard error through a file beside it.
CSystemdSandbox::Result RunCaptured(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                                    const std::string& errPath)
{
    CSystemdSandbox::Result result;
    int outPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
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
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envs.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    char buffer[4096];
    ssize_t got;
    while (spawned == 0 && ((got = read(outPipe[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))) {
        result.out.append(buffer, got > 0 ? static_cast<size_t>(got) : 0);
    }
    close(outPipe[0]);
    if (spawned == 0) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.err = ReadFile(errPath);
    }
    return result;
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
    return RunCaptured(argv, {"SANDBOX_DIR=" + m_dir, "SANDBOX_STAGE=" + m_stage}, m_dir + "/stderr");
}
