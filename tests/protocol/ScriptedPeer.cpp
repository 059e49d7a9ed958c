#include "ScriptedPeer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>
#include <utility>

namespace {

[[noreturn]] void Fail(const char* what)
{
    throw std::runtime_error(std::string(what) + " failed: error " + std::to_string(RawSocket::LastError()));
}

} // namespace

CScriptedPeer::CScriptedPeer(RawSocket socket) : m_socket(std::move(socket))
{
    m_socket.SetNoDelay();
}

CScriptedPeer CScriptedPeer::Connect(uint16_t port)
{
    RawSocket socket = RawSocket::Connect(AF_INET, "127.0.0.1", port);
    if (!socket.Valid()) {
        Fail("connect");
    }
    return CScriptedPeer(std::move(socket));
}

void CScriptedPeer::Send(const std::string& bytes)
{
    if (!m_socket.SendAll(bytes)) {
        Fail("send");
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
    while (bytes.size() < count && m_socket.WaitReadable(kWaitMs)) {
        char buffer[4096];
        const size_t want = std::min(sizeof buffer, count - bytes.size());
        const long got = m_socket.Receive(buffer, want);
        if (got < 0 && RawSocket::Interrupted(RawSocket::LastError())) {
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
    if (!m_socket.WaitReadable(kWaitMs)) {
        return false;
    }
    char byte;
    long got;
    do {
        got = m_socket.Receive(&byte, 1);
    } while (got < 0 && RawSocket::Interrupted(RawSocket::LastError()));
    return got == 0 || (got < 0 && RawSocket::ConnectionReset(RawSocket::LastError()));
}

void CScriptedPeer::ShutdownWrite()
{
    m_socket.ShutdownWrite();
}

void CScriptedPeer::Close()
{
    m_socket.Reset();
}

CPeerListener::CPeerListener() : m_socket(RawSocket::Listen(AF_INET, "127.0.0.1", 0, 16))
{
    if (!m_socket.Valid()) {
        Fail("bind/listen");
    }
}

CScriptedPeer CPeerListener::Accept()
{
    if (!m_socket.WaitReadable(CScriptedPeer::kWaitMs)) {
        throw std::runtime_error("no connection to accept");
    }
    RawSocket accepted = m_socket.Accept();
    if (!accepted.Valid()) {
        Fail("accept");
    }
    return CScriptedPeer(std::move(accepted));
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
