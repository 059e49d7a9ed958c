#include "ScriptedPeer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const char* what)
{
    throw std::runtime_error(std::string(what) + " failed: errno " + std::to_string(errno));
}

sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool WaitReadable(int fd)
{
    pollfd entry{fd, POLLIN, 0};
    int ready;
    do {
        ready = poll(&entry, 1, CScriptedPeer::kWaitMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

void Word(std::string& out, uint32_t word)
{
    out.push_back(static_cast<char>(word >> 24));
    out.push_back(static_cast<char>(word >> 16));
    out.push_back(static_cast<char>(word >> 8));
    out.push_back(static_cast<char>(word));
}

} // namespace

CScriptedPeer::CScriptedPeer(int fd) : m_fd(fd)
{
    const int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

CScriptedPeer::~CScriptedPeer()
{
    Close();
}

CScriptedPeer::CScriptedPeer(CScriptedPeer&& other) noexcept : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

CScriptedPeer CScriptedPeer::Connect(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        Fail("socket");
    }
    CScriptedPeer peer(fd);
    const sockaddr_in address = Loopback(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        Fail("connect");
    }
    return peer;
}

void CScriptedPeer::Send(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("send");
        }
        done += static_cast<size_t>(sent);
    }
}

void CScriptedPeer::SendSplit(const std::string& bytes, const std::vector<size_t>& pieces)
{
    size_t offset = 0;
    for (size_t piece : pieces) {
        if (offset >= bytes.size()) {
            break;
        }
        Send(bytes.substr(offset, piece));
        offset += piece;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    if (offset < bytes.size()) {
        Send(bytes.substr(offset));
    }
}

std::string CScriptedPeer::Read(size_t count)
{
    std::string bytes;
    while (bytes.size() < count && WaitReadable(m_fd)) {
        char buffer[4096];
        const size_t want = std::min(sizeof buffer, count - bytes.size());
        const ssize_t got = recv(m_fd, buffer, want, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<size_t>(got));
    }
    return bytes;
}

bool CScriptedPeer::SeesClose()
{
    if (!WaitReadable(m_fd)) {
        return false;
    }
    char byte;
    ssize_t got;
    do {
        got = recv(m_fd, &byte, 1, 0);
    } while (got < 0 && errno == EINTR);
    return got == 0 || (got < 0 && errno == ECONNRESET);
}

void CScriptedPeer::ShutdownWrite()
{
    shutdown(m_fd, SHUT_WR);
}

void CScriptedPeer::Close()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

CPeerListener::CPeerListener() : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)), m_port(0)
{
    if (m_fd < 0) {
        Fail("socket");
    }
    sockaddr_in address = Loopback(0);
    if (bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(m_fd, 16) != 0) {
        close(m_fd);
        Fail("bind/listen");
    }
    socklen_t length = sizeof address;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
}

CPeerListener::~CPeerListener()
{
    close(m_fd);
}

CScriptedPeer CPeerListener::Accept()
{
    if (!WaitReadable(m_fd)) {
        throw std::runtime_error("no connection to accept");
    }
    const int fd = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        Fail("accept");
    }
    return CScriptedPeer(fd);
}

std::string Header(uint32_t type, uint32_t value)
{
    std::string out;
    Word(out, type);
    Word(out, value);
    return out;
}

std::string Ack()
{
    return Header(3, 0);
}

std::string IntPacket(int32_t value)
{
    std::string out = Header(2, 4);
    Word(out, static_cast<uint32_t>(value));
    return out;
}

std::string DataPacket(const std::string& bytes)
{
    return Header(2, static_cast<uint32_t>(bytes.size())) + bytes;
}

std::string StatusPacket(uint32_t status, uint32_t detail)
{
    std::string out = Header(5, 24);
    Word(out, status);
    Word(out, detail);
    out.append(16, '\0');
    return out;
}

std::string Hex(const std::string& bytes)
{
    std::string out;
    char piece[4];
    for (unsigned char byte : bytes) {
        std::snprintf(piece, sizeof piece, "%02x ", byte);
        out += piece;
    }
    if (!out.empty()) {
        out.pop_back();
    }
    return out;
}
