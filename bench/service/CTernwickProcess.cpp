#include "CTernwickProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The last lines of the log kept for a failure report.
constexpr size_t kTailLines = 200;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool BindsTo(int family, uint16_t port)
{
    const ServiceAddress address = ServiceAddress::Loopback(port, family == AF_INET6);
    const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return family == AF_INET6; // no IPv6 stack: only IPv4 matters
    }
    const int one = 1;
    if (family == AF_INET6) {
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    }
    // The service's listener takes the wildcard address; test that one.
    sockaddr_storage any = address.storage;
    if (family == AF_INET6) {
        reinterpret_cast<sockaddr_in6*>(&any)->sin6_addr = in6addr_any;
    } else {
        reinterpret_cast<sockaddr_in*>(&any)->sin_addr.s_addr = htonl(INADDR_ANY);
    }
    const bool free = bind(fd, reinterpret_cast<const sockaddr*>(&any), address.length) == 0;
    close(fd);
    return free;
}

} // namespace

CTernwickProcess::CTernwickProcess(std::string binary, std::string stateDir, std::string logPath)
    : m_binary(std::move(binary)), m_stateDir(std::move(stateDir)), m_logPath(std::move(logPath))
{}

CTernwickProcess::~CTernwickProcess()
{
    if (m_pid > 0 && !m_reaped) {
        Stop(5000);
    }
    StopDraining();
}

void CTernwickProcess::Start()
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        // The child must not report to a service manager that started this program.
        if (text.starts_with("CORVANE_STATE_DIR=") || text.starts_with("NOTIFY_SOCKET=")) {
            continue;
        }
        environment.emplace_back(text);
    }
    environment.push_back("CORVANE_STATE_DIR=" + m_stateDir);
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string program = m_binary;
    char* argv[] = {program.data(), nullptr};

    int logPipe[2] = {-1, -1};
    if (m_logPath.empty() && pipe2(logPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make the log pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (m_logPath.empty()) {
        posix_spawn_file_actions_adddup2(&actions, logPipe[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, m_logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    }
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int error = posix_spawn(&m_pid, m_binary.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (m_logPath.empty()) {
        close(logPipe[1]);
        m_drain = std::thread([this, fd = logPipe[0]] { Drain(fd); });
    }
    if (error != 0) {
        m_pid = -1;
        throw std::runtime_error("cannot start " + m_binary + ": " + std::strerror(error));
    }
    m_reaped = false;
}

bool CTernwickProcess::Running()
{
    if (m_pid <= 0 || m_reaped) {
        return false;
    }
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_reaped = true;
        m_exitStatus = status;
        return false;
    }
    return true;
}

bool CTernwickProcess::WaitAnswering(const ServiceAddress& address, int timeOutMs)
{
    const CRawUnitClient client(address, 1000);
    const auto start = Clock::now();
    while (MillisecondsSince(start) < timeOutMs) {
        if (!Running()) {
            return false;
        }
        if (client.Check().Ok()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

int CTernwickProcess::Stop(int timeOutMs, double* elapsedMs)
{
    if (m_pid <= 0) {
        return -1;
    }
    const auto start = Clock::now();
    if (!m_reaped) {
        kill(m_pid, SIGTERM);
        while (Running() && MillisecondsSince(start) < timeOutMs) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (!m_reaped) {
            kill(m_pid, SIGKILL);
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_reaped = true;
            m_exitStatus = status;
            if (elapsedMs != nullptr) {
                *elapsedMs = MillisecondsSince(start);
            }
            return -1;
        }
    }
    if (elapsedMs != nullptr) {
        *elapsedMs = MillisecondsSince(start);
    }
    StopDraining();
    return WIFEXITED(m_exitStatus) ? WEXITSTATUS(m_exitStatus) : -1;
}

void CTernwickProcess::Drain(int fd)
{
    std::string pending;
    char buffer[65536];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        // As cheap as a reader can be: the bench's own cost here is taken from the clients.
        pending.append(buffer, static_cast<size_t>(got));
        std::vector<std::pair<size_t, size_t>> lines; // begin, end
        size_t begin = 0;
        for (size_t end; (end = pending.find('\n', begin)) != std::string::npos; begin = end + 1) {
            lines.emplace_back(begin, end);
        }
        std::lock_guard<std::mutex> guard(m_tailLock);
        m_drainedLines += lines.size();
        const size_t kept = std::min(lines.size(), kTailLines);
        for (size_t i = lines.size() - kept; i < lines.size(); ++i) {
            m_tail.emplace_back(pending, lines[i].first, lines[i].second - lines[i].first);
        }
        while (m_tail.size() > kTailLines) {
            m_tail.pop_front();
        }
        pending.erase(0, begin);
    }
    close(fd);
}

void CTernwickProcess::StopDraining()
{
    // The pipe ends with the process.
    if (m_drain.joinable()) {
        m_drain.join();
    }
}

size_t CTernwickProcess::DrainedLines() const
{
    std::lock_guard<std::mutex> guard(m_tailLock);
    return m_drainedLines;
}

long CTernwickProcess::StatusField(const char* name) const
{
    std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
    std::string line;
    const std::string prefix = std::string(name) + ":";
    while (std::getline(status, line)) {
        if (line.starts_with(prefix)) {
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
        }
    }
    return -1;
}

long CTernwickProcess::ResidentKiB() const
{
    return StatusField("VmRSS");
}

long CTernwickProcess::PeakResidentKiB() const
{
    return StatusField("VmHWM");
}

long CTernwickProcess::ThreadCount() const
{
    return StatusField("Threads");
}

std::string CTernwickProcess::LogTail(size_t lines) const
{
    std::deque<std::string> tail;
    if (m_logPath.empty()) {
        std::lock_guard<std::mutex> guard(m_tailLock);
        tail.assign(m_tail.size() > lines ? m_tail.end() - static_cast<std::ptrdiff_t>(lines) : m_tail.begin(),
                    m_tail.end());
    }
    std::ifstream log(m_logPath);
    std::string line;
    while (std::getline(log, line)) {
        tail.push_back(line);
        if (tail.size() > lines) {
            tail.pop_front();
        }
    }
    std::string out;
    for (const std::string& kept : tail) {
        out += "    " + kept + "\n";
    }
    return out;
}

uint16_t FindFreePort()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        socklen_t length = sizeof any;
        uint16_t port = 0;
        if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&any), &length) == 0) {
            port = ntohs(any.sin_port);
        }
        if (fd >= 0) {
            close(fd);
        }
        if (port != 0 && BindsTo(AF_INET6, port) && BindsTo(AF_INET, port)) {
            return port;
        }
    }
    throw std::runtime_error("no free port");
}

std::string FindTernwick(const std::string& given)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> candidates;
    if (!given.empty()) {
        return fs::exists(given) ? given : std::string();
    }
#ifdef CORVANE_TERNWICK_PATH
    candidates.emplace_back(CORVANE_TERNWICK_PATH);
#endif
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        // bench/service/corvane_loadgen -> service/Ternwick in the same build tree.
        candidates.push_back(self.parent_path().parent_path().parent_path() / "service" / "Ternwick");
    }
    for (const fs::path& candidate : candidates) {
        if (fs::exists(candidate, error)) {
            return candidate.string();
        }
    }
    return {};
}
