#include "CMinimalServer.h"

#include "ExchangeScript.h"
#include "Wire.h"

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool ReadExactly(int fd, void* buffer, size_t length)
{
    return length == 0 || recv(fd, buffer, length, MSG_WAITALL) == static_cast<ssize_t>(length);
}

bool SendAll(int fd, const std::string& bytes)
{
    return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// A header; its type and value, or type 0 when the peer closed.
std::pair<uint32_t, uint32_t> ReadHeader(int fd)
{
    uint32_t words[2] = {};
    if (!ReadExactly(fd, words, sizeof words)) {
        return {0, 0};
    }
    return {ntohl(words[0]), ntohl(words[1])};
}

// A data item, acknowledged; false when it is not one.
bool ReadItem(int fd, std::string& item)
{
    const auto [type, length] = ReadHeader(fd);
    if (type != 2 || length == 0 || length > 65536) {
        return false;
    }
    item.resize(length);
    return ReadExactly(fd, item.data(), length) && SendAll(fd, Wire::Header(3, 0));
}

bool Acknowledged(int fd)
{
    return ReadHeader(fd).first == 3;
}

std::string Status(uint32_t status, uint32_t detail)
{
    std::string block = Wire::Header(status, detail);
    block.append(16, '\0');
    return Wire::Header(5, 24) + block;
}

} // namespace

CMinimalServer::CMinimalServer(size_t units, int threads)
{
    for (size_t unit = 0; unit < units; ++unit) {
        m_keys.emplace(BenchId(unit), BenchKey(unit));
    }
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(m_listener, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listener, SOMAXCONN) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(m_listener);
        throw std::runtime_error("the minimal server cannot listen");
    }
    m_port = ntohs(address.sin_port);
    for (int i = 0; i < threads; ++i) {
        m_threads.emplace_back([this] { Accept(); });
    }
}

CMinimalServer::~CMinimalServer()
{
    // Ends every accept() that waits.
    shutdown(m_listener, SHUT_RDWR);
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    close(m_listener);
}

void CMinimalServer::Accept() const
{
    for (;;) {
        const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return;
        }
        Serve(fd);
        close(fd);
    }
}

void CMinimalServer::Serve(int fd) const
{
    const auto [type, code] = ReadHeader(fd);
    if (type != 1 || !SendAll(fd, Wire::Header(3, 0))) {
        return;
    }
    if (code == 1) {
        static_cast<void>(SendAll(fd, Status(0, 0)) && Acknowledged(fd));
    } else if (code == 16) {
        GetKey(fd);
    }
}

bool CMinimalServer::GetKey(int fd) const
{
    std::string id;
    std::string mask;
    if (!ReadItem(fd, id) || !ReadItem(fd, mask)) {
        return false;
    }
    const auto found = m_keys.find(id);
    if (found == m_keys.end()) {
        return SendAll(fd, Status(2, 1)) && Acknowledged(fd);
    }
    const LockKey sealed = SealForTransfer(found->second, id, mask);
    return SendAll(fd, Wire::Data(std::string_view(reinterpret_cast<const char*>(sealed.data()), sealed.size()))) &&
           Acknowledged(fd) && SendAll(fd, Status(0, 0)) && Acknowledged(fd);
}

CMinimalServerProcess::CMinimalServerProcess(size_t units, int threads)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("the minimal server cannot be started");
    }
    sigset_t terminate;
    sigemptyset(&terminate);
    sigaddset(&terminate, SIGTERM);
    m_pid = fork();
    if (m_pid == 0) {
        // Ends with the bench, and on SIGTERM once serving.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        pthread_sigmask(SIG_BLOCK, &terminate, nullptr);
        close(pipeFds[0]);
        uint16_t port = 0;
        try {
            // Serves until _exit, which ends its threads without joining them.
            static const CMinimalServer server(units, threads);
            port = server.Port();
        } catch (const std::exception&) {
        }
        static_cast<void>(write(pipeFds[1], &port, sizeof port));
        int signal = 0;
        sigwait(&terminate, &signal);
        _exit(0);
    }
    close(pipeFds[1]);
    if (m_pid < 0 || read(pipeFds[0], &m_port, sizeof m_port) != sizeof m_port || m_port == 0) {
        close(pipeFds[0]);
        Stop();
        throw std::runtime_error("the minimal server cannot listen");
    }
    close(pipeFds[0]);
}

CMinimalServerProcess::~CMinimalServerProcess()
{
    Stop();
}

void CMinimalServerProcess::Stop()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}
