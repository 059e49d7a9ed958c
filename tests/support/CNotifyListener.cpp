#include "CNotifyListener.h"

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

} // namespace Harness
