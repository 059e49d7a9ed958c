#include "CPeer.h"

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
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace Harness {

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

bool CPeer::Connect(const std::string& host, uint16_t port, const std::string& source)
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
    if (!source.empty()) {
        // From this IPv4 address (any of 127/8 on loopback), for a peer of its own.
        sockaddr_in from{};
        from.sin_family = AF_INET;
        inet_pton(AF_INET, source.c_str(), &from.sin_addr);
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
            Close();
            return false;
        }
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

} // namespace Harness
