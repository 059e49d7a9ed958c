#pragma once

// The system's own socket declarations (sockaddr_in, htons, getaddrinfo, ...): POSIX on
// Linux, Winsock on Windows; tests/support/CMakeLists.txt puts one SocketHeaders.h on the path.
#include "SocketHeaders.h"
#include "net/SocketTypes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// The system's sockets for the far end of a test: a peer that behaves, or misbehaves, without
// going through the layer under test. The calls that differ between the systems are in
// linux/RawSocket.cpp and win32/RawSocket.cpp.
class RawSocket
{
public:
    using Handle = ZiRez::SocketHandle;

    RawSocket() = default;
    explicit RawSocket(Handle fd) : m_fd(fd) {}
    ~RawSocket();
    RawSocket(RawSocket&& other) noexcept : m_fd(other.m_fd) { other.m_fd = ZiRez::INVALID_SOCKET_HANDLE; }
    RawSocket& operator=(RawSocket&& other) noexcept;
    RawSocket(const RawSocket&) = delete;
    RawSocket& operator=(const RawSocket&) = delete;

    Handle Fd() const { return m_fd; }
    bool Valid() const { return m_fd != ZiRez::INVALID_SOCKET_HANDLE; }
    void Reset();

    // Local port of the socket.
    uint16_t Port() const;

    // A stream socket of the family, not inherited by child processes; invalid on failure.
    static RawSocket Open(int family, bool nonBlocking = false);
    // A listener on host (numeric, of the system family) and port (0: any free one).
    static RawSocket Listen(int family, const char* host, uint16_t port, int backlog);
    // A blocking connection, from the numeric source address when given; invalid on failure.
    static RawSocket Connect(int family, const char* host, uint16_t port, const char* source = nullptr);
    // A non-blocking connection attempt, left in progress.
    static RawSocket ConnectPending(int family, const char* host, uint16_t port);
    // Accepts one connection (blocking).
    RawSocket Accept() const;
    bool Bind(int family, const char* host, uint16_t port) const;

    // One send or receive call: its count, or -1 with the error in LastError(). A send to a
    // peer that is gone fails without a signal.
    long Send(const void* bytes, size_t length) const;
    long Receive(void* buffer, size_t length) const;
    long Send(std::string_view bytes) const { return Send(bytes.data(), bytes.size()); }
    // Sends every byte, again after an interrupted call; false when the connection failed.
    bool SendAll(std::string_view bytes) const;
    // True when a receive would not wait (data, the peer's close or an error) within the
    // time (-1: without limit).
    bool WaitReadable(int timeOutMs) const;
    // Ends the sending direction only: the peer reads end-of-stream, its replies still arrive.
    void ShutdownWrite() const;
    void SetNoDelay() const;

    // An int-valued option of any socket, -1 when it cannot be read.
    static int IntOption(Handle socket, int level, int option);
    // Whether calls on a socket return at once instead of waiting; nullopt where the system
    // cannot tell (Winsock sets the mode but never tells it).
    static std::optional<bool> NonBlocking(Handle socket);
    // Whether a socket carries what the layer's "reuse address" stands for on this system
    // (SO_REUSEADDR on Linux, SO_EXCLUSIVEADDRUSE on Windows); nullopt where the system cannot
    // tell (Wine has no SO_EXCLUSIVEADDRUSE).
    static std::optional<bool> ReusesAddress(Handle socket);

    // The error of this thread's last failed socket call, in the system's numbering.
    static int LastError();
    static bool Interrupted(int error);
    static bool ConnectionReset(int error);

private:
    Handle m_fd = ZiRez::INVALID_SOCKET_HANDLE;
};

// Both ends of a connection on the IPv4 loopback.
struct RawSocketPair
{
    RawSocketPair();
    RawSocket a;
    RawSocket b;
};

// True when ::1 can be bound here, so IPv6 loopback cases can run.
bool IPv6LoopbackUsable();
