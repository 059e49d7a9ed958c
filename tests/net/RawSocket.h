#pragma once

#include <cstdint>

// Plain POSIX sockets for the far end of a test: a peer that behaves, or misbehaves, without
// going through the layer under test.
class RawSocket
{
public:
    RawSocket() = default;
    explicit RawSocket(int fd) : m_fd(fd) {}
    ~RawSocket();
    RawSocket(RawSocket&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    RawSocket& operator=(RawSocket&& other) noexcept;
    RawSocket(const RawSocket&) = delete;
    RawSocket& operator=(const RawSocket&) = delete;

    int Fd() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    void Reset();

    // Local port of the socket.
    uint16_t Port() const;

    // A listener on host (numeric, of the system family) and port (0: any free one).
    static RawSocket Listen(int family, const char* host, uint16_t port, int backlog);
    // A blocking connection; invalid on failure.
    static RawSocket Connect(int family, const char* host, uint16_t port);
    // A non-blocking connection attempt, left in progress.
    static RawSocket ConnectPending(int family, const char* host, uint16_t port);
    // Accepts one connection (blocking).
    RawSocket Accept() const;

private:
    int m_fd = -1;
};

// True when ::1 can be bound here, so IPv6 loopback cases can run.
bool IPv6LoopbackUsable();

// A port on the IPv4 loopback that nothing listens on (bound once, then released).
uint16_t UnusedPort();
