#include "CSpawnProcessRunner.h"

#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

class CPipe
{
public:
    CPipe() { m_ok = pipe2(m_fds, O_CLOEXEC) == 0; }
    ~CPipe()
    {
        CloseWrite();
        if (m_ok) {
            close(m_fds[0]);
        }
    }
    CPipe(const CPipe&) = delete;
    CPipe& operator=(const CPipe&) = delete;
    bool Ok() const { return m_ok; }
    int ReadEnd() const { return m_fds[0]; }
    int WriteEnd() const { return m_fds[1]; }
    void CloseWrite()
    {
        if (m_ok && m_fds[1] >= 0) {
            close(m_fds[1]);
            m_fds[1] = -1;
        }
    }

private:
    int m_fds[2] = {-1, -1};
    bool m_ok = false;
};

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            return text;
        }
    }
}

pid_t Spawn(const std::vector<std::string>& argv, int outputFd)
{
    std::vector<char*> pointers;
    for (const auto& argument : argv) {
        pointers.push_back(const_cast<char*>(argument.c_str()));
    }
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);
    // The tools start with default signal handling whatever this process ignores.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attributes, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    if (posix_spawn(&pid, pointers[0], &actions, &attributes, pointers.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

} // namespace

int CSpawnProcessRunner::Run(const std::vector<std::string>& argv, std::string* output)
{
    if (argv.empty()) {
        return -1;
    }
    CPipe pipe;
    if (!pipe.Ok()) {
        return -1;
    }
    const pid_t pid = Spawn(argv, pipe.WriteEnd());
    pipe.CloseWrite();
    if (pid < 0) {
        return -1;
    }
    std::string text = ReadAll(pipe.ReadEnd());
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    if (output != nullptr) {
        *output = std::move(text);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
