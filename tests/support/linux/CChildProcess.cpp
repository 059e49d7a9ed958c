#include "CChildProcess.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace Harness {

namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (auto& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Adds what makes the stream so in the child; a pipe's far end is left in *childEnd, this
// program's in *ownEnd.
bool Arrange(posix_spawn_file_actions_t& actions, int fd, const SChildStream& stream, int* childEnd, intptr_t* ownEnd)
{
    const bool reading = fd == STDIN_FILENO;
    switch (stream.kind) {
    case SChildStream::EKind::Inherit:
        return true;
    case SChildStream::EKind::Null:
        return posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", reading ? O_RDONLY : O_WRONLY, 0) == 0;
    case SChildStream::EKind::File:
        return posix_spawn_file_actions_addopen(&actions, fd, stream.path.c_str(),
                                                reading ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0600) == 0;
    case SChildStream::EKind::AppendFile:
        return posix_spawn_file_actions_addopen(&actions, fd, stream.path.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                                0600) == 0;
    case SChildStream::EKind::Pipe: {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            return false;
        }
        *childEnd = reading ? ends[0] : ends[1];
        *ownEnd = reading ? ends[1] : ends[0];
        return posix_spawn_file_actions_adddup2(&actions, *childEnd, fd) == 0;
    }
    case SChildStream::EKind::SameAsOutput:
        return posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, fd) == 0;
    }
    return false;
}

} // namespace

CChildProcess::~CChildProcess()
{
    if (m_pid > 0 && !m_status) {
        Kill();
    }
    CloseInput();
    if (m_output >= 0) {
        close(static_cast<int>(m_output));
    }
}

bool CChildProcess::Start(const std::vector<std::string>& argv, const SOptions& options)
{
    std::vector<std::string> arguments = argv;
    std::vector<std::string> environment = options.environment;
    if (environment.empty()) {
        for (char** entry = environ; *entry != nullptr; ++entry) {
            environment.emplace_back(*entry);
        }
    }
    auto argPointers = Pointers(arguments);
    auto envPointers = Pointers(environment);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int childEnds[3] = {-1, -1, -1};
    intptr_t unused = -1;
    bool arranged = Arrange(actions, STDIN_FILENO, options.input, &childEnds[0], &m_input) &&
                    Arrange(actions, STDOUT_FILENO, options.output, &childEnds[1], &m_output);
    arranged = arranged && options.error.kind != SChildStream::EKind::Pipe &&
               Arrange(actions, STDERR_FILENO, options.error, &childEnds[2], &unused);
    // The test runner may block signals; the child starts with a clean mask.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const bool onPath = argv[0].find('/') == std::string::npos;
    const int spawned =
        !arranged ? -1
        : onPath  ? posix_spawnp(&pid, argv[0].c_str(), &actions, &attributes, argPointers.data(), envPointers.data())
                  : posix_spawn(&pid, argv[0].c_str(), &actions, &attributes, argPointers.data(), envPointers.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    for (const int end : childEnds) {
        if (end >= 0) {
            close(end);
        }
    }
    m_pid = spawned == 0 ? pid : 0;
    m_status.reset();
    return m_pid > 0;
}

bool CChildProcess::Running()
{
    return m_pid > 0 && !WaitExit(0);
}

std::optional<int> CChildProcess::WaitExit(int timeOutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeOutMs);
    while (!m_status && m_pid > 0) {
        int status = 0;
        const pid_t done = waitpid(static_cast<pid_t>(m_pid), &status, WNOHANG);
        if (done == m_pid) {
            m_status = status;
        } else if ((done < 0 && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
            break;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return m_status;
}

int CChildProcess::ExitCode(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void CChildProcess::Kill()
{
    Signal(SIGKILL);
    int status = 0;
    while (m_pid > 0 && !m_status) {
        const pid_t done = waitpid(static_cast<pid_t>(m_pid), &status, 0);
        if (done == m_pid) {
            m_status = status;
        } else if (errno != EINTR) {
            break;
        }
    }
}

void CChildProcess::Signal(int signalNumber)
{
    if (m_pid > 0 && !m_status) {
        kill(static_cast<pid_t>(m_pid), signalNumber);
    }
}

bool CChildProcess::Write(const std::string& bytes)
{
    size_t done = 0;
    while (m_input >= 0 && done < bytes.size()) {
        const ssize_t wrote = write(static_cast<int>(m_input), bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno != EINTR) {
            return false;
        }
        done += wrote > 0 ? static_cast<size_t>(wrote) : 0;
    }
    return m_input >= 0;
}

void CChildProcess::CloseInput()
{
    if (m_input >= 0) {
        close(static_cast<int>(m_input));
        m_input = -1;
    }
}

long CChildProcess::Read(void* buffer, size_t length)
{
    ssize_t got = -1;
    do {
        got = m_output >= 0 ? read(static_cast<int>(m_output), buffer, length) : -1;
    } while (got < 0 && errno == EINTR);
    return got;
}

bool CChildProcess::WaitReadable(int timeOutMs)
{
    pollfd entry{static_cast<int>(m_output), POLLIN, 0};
    int ready;
    do {
        ready = m_output >= 0 ? poll(&entry, 1, timeOutMs) : -1;
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

} // namespace Harness
