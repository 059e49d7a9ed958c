#include "CPeer.h"

#include "Ports.h"
#include "Wire.h"

#include <random>
#include <thread>

namespace Harness {

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool CPeer::Connect(const std::string& host, uint16_t port, const std::string& source)
{
    const int family = host.find(':') != std::string::npos ? AF_INET6 : AF_INET;
    // From the source address (any of 127/8 on loopback) when given, for a peer of its own.
    m_socket = RawSocket::Connect(family, host.c_str(), port, source.empty() ? nullptr : source.c_str());
    return m_socket.Valid();
}

bool CPeer::Send(const std::string& bytes)
{
    return m_socket.SendAll(bytes);
}

void CPeer::ShutdownWrite()
{
    m_socket.ShutdownWrite();
}

std::string CPeer::Read(size_t count, int timeOutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeOutMs);
    std::string bytes;
    while (bytes.size() < count) {
        if (!m_socket.WaitReadable(RemainingMs(deadline))) {
            break;
        }
        char buffer[4096];
        const size_t want = count - bytes.size() < sizeof buffer ? count - bytes.size() : sizeof buffer;
        const long got = m_socket.Receive(buffer, want);
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
        if (!m_socket.WaitReadable(RemainingMs(deadline))) {
            return bytes;
        }
        char buffer[4096];
        const long got = m_socket.Receive(buffer, sizeof buffer);
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
    return !m_socket.WaitReadable(timeOutMs);
}

void CPeer::Close()
{
    m_socket.Reset();
}

uint16_t FreePort()
{
    // Free on both families' wildcard addresses, as the service binds them.
    const auto bindsBoth = [](uint16_t port) {
        const RawSocket v4 = RawSocket::Open(AF_INET);
        if (!v4.Bind(AF_INET, "0.0.0.0", port)) {
            return false;
        }
        const RawSocket v6 = RawSocket::Open(AF_INET6);
        if (!v6.Valid()) {
            return true;
        }
        const int one = 1;
        setsockopt(v6.Fd(), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&one), sizeof one);
        return v6.Bind(AF_INET6, "::", port);
    };
    static std::random_device device;
    return PortOutside(EphemeralPorts(), device(), bindsBoth);
}

RawSocket HoldFreePort(const char* host, uint16_t& port)
{
    RawSocket holder;
    for (int attempt = 0; attempt < 5 && !holder.Valid(); ++attempt) {
        port = FreePort();
        holder = RawSocket::Listen(AF_INET, host, port, 4);
    }
    return holder;
}

bool IPv6LoopbackWorks()
{
    const RawSocket probe = RawSocket::Open(AF_INET6);
    return probe.Valid() && probe.Bind(AF_INET6, "::1", 0);
}

std::string Converse(uint16_t port, const std::string& clientBytes, const std::string& host, const std::string& source)
{
    CPeer peer;
    if (!peer.Connect(host, port, source)) {
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

} // namespace Harness
