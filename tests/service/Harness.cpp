#include "Harness.h"

#include "Wire.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace Harness {

namespace {

std::vector<std::string> ChildEnvironment(const std::string& stateDir, const std::string& notifySocket)
{
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        if (variable.rfind("CORVANE_STATE_DIR=", 0) == 0 || variable.rfind("NOTIFY_SOCKET=", 0) == 0) {
            continue;
        }
        variables.push_back(variable);
    }
    variables.push_back("CORVANE_STATE_DIR=" + stateDir);
    if (!notifySocket.empty()) {
        variables.push_back("NOTIFY_SOCKET=" + notifySocket);
    }
    return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (auto& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

CTempDir::CTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ternwick-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

CTempDir::~CTempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

int StoreTool(const std::string& stateDir, const std::vector<std::string>& arguments, std::string* out)
{
    std::vector<std::string> argv{STORE_TOOL_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto argPointers = Pointers(argv);
    auto environment = ChildEnvironment(stateDir, "");
    auto envPointers = Pointers(environment);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string output;
    char buffer[4096];
    ssize_t got;
    while (spawned == 0 && (got = read(pipeFds[0], buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            break;
        }
        output.append(buffer, static_cast<size_t>(got));
    }
    close(pipeFds[0]);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (out != nullptr) {
        *out = output;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint16_t FreePort()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int v4 = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        socklen_t length = sizeof address;
        bind(v4, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(v4, reinterpret_cast<sockaddr*>(&address), &length);
        const uint16_t port = ntohs(address.sin_port);
        bool free = port != 0;
        const int v6 = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (v6 >= 0) {
            int one = 1;
            setsockopt(v6, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
            sockaddr_in6 address6{};
            address6.sin6_family = AF_INET6;
            address6.sin6_addr = in6addr_any;
            address6.sin6_port = htons(port);
            free = free && bind(v6, reinterpret_cast<sockaddr*>(&address6), sizeof address6) == 0;
            close(v6);
        }
        close(v4);
        if (free) {
            return port;
        }
    }
    return 0;
}

bool IPv6LoopbackWorks()
{
    const int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool works = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return works;
}

CNotifyListener::CNotifyListener()
{
    static int counter = 0;
    m_name = "corvane-notify-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, m_name.data(), m_name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + m_name.size());
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        throw std::runtime_error("cannot bind the notify socket");
    }
}

CNotifyListener::~CNotifyListener()
{
    close(m_fd);
}

void CNotifyListener::Drain(int timeOutMs)
{
    pollfd entry{m_fd, POLLIN, 0};
    if (poll(&entry, 1, timeOutMs) <= 0) {
        return;
    }
    char buffer[4096];
    ssize_t got;
    while ((got = recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
        m_messages.emplace_back(buffer, static_cast<size_t>(got));
    }
}

bool CNotifyListener::WaitForLine(const std::string& line, int timeOutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeOutMs);
    for (;;) {
        for (; m_scanned < m_messages.size(); ++m_scanned) {
            std::istringstream lines(m_messages[m_scanned]);
            std::string each;
            while (std::getline(lines, each)) {
                if (each == line) {
                    ++m_scanned;
                    return true;
                }
            }
        }
        if (RemainingMs(deadline) == 0) {
            return false;
        }
        Drain(RemainingMs(deadline));
    }
}

std::vector<std::string> CNotifyListener::Statuses()
{
    Drain(0);
    std::vector<std::string> statuses;
    for (const auto& message : m_messages) {
        std::istringstream lines(message);
        std::string each;
        while (std::getline(lines, each)) {
            if (each.rfind("STATUS=", 0) == 0) {
                statuses.push_back(each.substr(7));
            }
        }
    }
    return statuses;
}

std::vector<std::string> CNotifyListener::Messages()
{
    Drain(0);
    return m_messages;
}

CTernwickProcess::CTernwickProcess(const std::string& stateDir, const std::string& notifySocket, int descriptorLimit)
    : m_logPath(stateDir + "/ternwick.log")
{
    std::vector<std::string> argv{TERNWICK_PATH};
    if (descriptorLimit > 0) {
        // prlimit sets the limit and execs the service in its own process.
        const std::string limit = std::to_string(descriptorLimit);
        argv = {"/usr/bin/prlimit", "--nofile=" + limit + ":" + limit, TERNWICK_PATH};
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

CPeer::~CPeer()
{
    Close();
}

CPeer::CPeer(CPeer&& other) noexcept : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

CPeer& CPeer::operator=(CPeer&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

bool CPeer::Connect(const std::string& host, uint16_t port)
{
    Close();
    sockaddr_storage address{};
    socklen_t length = 0;
    if (host.find(':') != std::string::npos) {
        auto* address6 = reinterpret_cast<sockaddr_in6*>(&address);
        address6->sin6_family = AF_INET6;
        address6->sin6_port = htons(port);
        inet_pton(AF_INET6, host.c_str(), &address6->sin6_addr);
        length = sizeof(sockaddr_in6);
    } else {
        auto* address4 = reinterpret_cast<sockaddr_in*>(&address);
        address4->sin_family = AF_INET;
        address4->sin_port = htons(port);
        inet_pton(AF_INET, host.c_str(), &address4->sin_addr);
        length = sizeof(sockaddr_in);
    }
    m_fd = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        return false;
    }
    if (connect(m_fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        Close();
        return false;
    }
    return true;
}

bool CPeer::Send(const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t done = send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            return false;
        }
        sent += static_cast<size_t>(done);
    }
    return true;
}

void CPeer::ShutdownWrite()
{
    shutdown(m_fd, SHUT_WR);
}

std::string CPeer::Read(size_t count, int timeOutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeOutMs);
    std::string bytes;
    while (bytes.size() < count) {
        pollfd entry{m_fd, POLLIN, 0};
        if (poll(&entry, 1, RemainingMs(deadline)) <= 0) {
            break;
        }
        char buffer[4096];
        const size_t want = count - bytes.size() < sizeof buffer ? count - bytes.size() : sizeof buffer;
        const ssize_t got = recv(m_fd, buffer, want, 0);
        if (got <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<size_t>(got));
    }
    return bytes;
}

std::string CPeer::ReadToClose(int timeOutMs, bool* closed)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeOutMs);
    std::string bytes;
    if (closed != nullptr) {
        *closed = false;
    }
    for (;;) {
        pollfd entry{m_fd, POLLIN, 0};
        if (poll(&entry, 1, RemainingMs(deadline)) <= 0) {
            return bytes;
        }
        char buffer[4096];
        const ssize_t got = recv(m_fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            if (closed != nullptr) {
                *closed = true;
            }
            return bytes;
        }
        bytes.append(buffer, static_cast<size_t>(got));
    }
}

bool CPeer::StaysQuiet(int timeOutMs)
{
    pollfd entry{m_fd, POLLIN, 0};
    return poll(&entry, 1, timeOutMs) == 0;
}

void CPeer::Close()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

std::string Converse(uint16_t port, const std::string& clientBytes, const std::string& host)
{
    CPeer peer;
    if (!peer.Connect(host, port)) {
        return "<no connection>";
    }
    peer.Send(clientBytes);
    peer.ShutdownWrite();
    bool closed = false;
    std::string reply = peer.ReadToClose(20000, &closed);
    if (!closed) {
        reply += "<not closed>";
    }
    return reply;
}

bool CanConnect(uint16_t port, const std::string& host)
{
    CPeer peer;
    return peer.Connect(host, port);
}

bool WaitForListener(uint16_t port, int timeOutMs, const std::string& host)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeOutMs);
    const std::string expected = Wire::Ack() + Wire::Status(0, 0);
    while (RemainingMs(deadline) > 0) {
        CPeer peer;
        if (peer.Connect(host, port)) {
            peer.Send(Wire::Request(1) + Wire::Ack());
            if (peer.Read(expected.size(), 5000) == expected) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void RaiseDescriptorLimit()
{
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

} // namespace Harness
