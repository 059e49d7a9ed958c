#pragma once

// The socket calls of this system as the socket layer uses them (POSIX). win32/ has the
// same names over Winsock; common/net/CMakeLists.txt puts one of the two on the path.
#include "net/SocketErrors.h"
#include "net/SocketTypes.h"

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <span>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace ZiRez::Sys {

// Error numbers of the calls below, in errno's numbering.
inline constexpr int kInterrupted = EINTR;
inline constexpr int kWouldBlock = EAGAIN;
inline constexpr int kInProgress = EINPROGRESS;
inline constexpr int kInvalid = EINVAL;
inline constexpr int kBadHandle = EBADF;
// A listener may bind again over connections of its port that are still closing.
inline constexpr int kReuseAddress = SO_REUSEADDR;

inline constexpr int kNoFamily = EAFNOSUPPORT;

inline int LastError()
{
    return errno;
}

// Records an error number as the thread's last socket error (a Winsock code); returns it.
inline int32_t RecordError(int error)
{
    return SetLastSocketErrorFromErrno(error);
}

inline SocketHandle OpenSocket(int family, int type)
{
    const int socket = ::socket(family, type | SOCK_CLOEXEC, 0);
    return socket < 0 ? INVALID_SOCKET_HANDLE : socket;
}

inline void CloseSocket(SocketHandle socket)
{
    close(socket);
}

inline SocketHandle AcceptSocket(SocketHandle listener, sockaddr* peer, socklen_t* length)
{
    const int socket = accept4(listener, peer, length, SOCK_CLOEXEC);
    return socket < 0 ? INVALID_SOCKET_HANDLE : socket;
}

// Ends the waits and receives of other threads on the socket: they read its end.
inline void ShutDownSocket(SocketHandle socket)
{
    shutdown(socket, SHUT_RDWR);
}

// A peer that has closed must never end the program (no SIGPIPE).
inline long SendSome(SocketHandle socket, const void* bytes, int length)
{
    return send(socket, bytes, static_cast<size_t>(length), MSG_NOSIGNAL);
}

inline long ReceiveSome(SocketHandle socket, void* buffer, int length)
{
    return recv(socket, buffer, static_cast<size_t>(length), 0);
}

// One call that takes what the socket has now, or fails with kWouldBlock.
inline long SendWithoutWaiting(SocketHandle socket, const void* bytes, int length)
{
    return send(socket, bytes, static_cast<size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
}

inline long ReceiveWithoutWaiting(SocketHandle socket, void* buffer, int length)
{
    return recv(socket, buffer, static_cast<size_t>(length), MSG_DONTWAIT);
}

// True when the peer's bytes wait unread on the socket.
inline bool HasUnreadInput(SocketHandle socket)
{
    char byte;
    return recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

// The longest queue of connections not yet accepted: the kernel cuts it to net.core.somaxconn.
inline constexpr int kListenBacklog = 0x7fffffff;

// Listeners per family that share a server's port, each with a queue of that length, among
// which the kernel spreads the connections: a boot storm of thousands of units then waits in
// the queues instead of having its SYNs dropped (each drop costs a unit a second or more).
inline constexpr int kListenersPerFamily = 4;

// The connections waiting in each listener's queue (0 for an INVALID_SOCKET_HANDLE entry);
// false when the system does not tell. One poll finds the queues that hold any, and only
// those are asked their lengths: this runs after every request under load.
inline bool QueuedConnections(std::span<const SocketHandle> listeners, std::span<int> lengths)
{
    std::array<pollfd, 2 * kListenersPerFamily> polled{};
    if (listeners.size() > polled.size() || lengths.size() < listeners.size()) {
        return false;
    }
    for (size_t i = 0; i < listeners.size(); ++i) {
        // A negative descriptor makes poll() skip the entry.
        polled[i] = pollfd{listeners[i], POLLIN, 0};
        lengths[i] = 0;
    }
    if (poll(polled.data(), listeners.size(), 0) < 0) {
        return false;
    }
    for (size_t i = 0; i < listeners.size(); ++i) {
        if ((polled[i].revents & POLLIN) == 0) {
            continue;
        }
        tcp_info info{};
        socklen_t length = sizeof info;
        if (getsockopt(listeners[i], IPPROTO_TCP, TCP_INFO, &info, &length) != 0) {
            return false;
        }
        lengths[i] = static_cast<int>(info.tcpi_unacked); // a listener's queue length, as the kernel fills it in
    }
    return true;
}

// Lets the socket share its port with the server's other listeners. Only sockets of the same
// user may join them.
inline int SharePort(SocketHandle socket)
{
    const int one = 1;
    return setsockopt(socket, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
}

inline int SetSocketOption(SocketHandle socket, int level, int option, const void* value, int length)
{
    return setsockopt(socket, level, option, value, static_cast<socklen_t>(length));
}

// The pending error of a socket (SO_ERROR), or the error of asking for it.
inline int PendingError(SocketHandle socket)
{
    int pending = 0;
    socklen_t length = sizeof pending;
    return getsockopt(socket, SOL_SOCKET, SO_ERROR, &pending, &length) != 0 ? errno : pending;
}

// 0, or -1 with the error in LastError().
inline int SetNonBlocking(SocketHandle socket, bool nonBlocking)
{
    const int flags = fcntl(socket, F_GETFL);
    if (flags < 0) {
        return -1;
    }
    const int wanted = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return wanted == flags ? 0 : fcntl(socket, F_SETFL, wanted) == 0 ? 0 : -1;
}

inline void SetSendTimeOut(SocketHandle socket, int milliseconds)
{
    timeval limit{milliseconds / 1000, (milliseconds % 1000) * 1000};
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

// Send and receive time-outs in milliseconds (0: none).
inline void SetTimeOuts(SocketHandle socket, int sendMs, int receiveMs)
{
    const timeval send{sendMs / 1000, (sendMs % 1000) * 1000};
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &send, sizeof send);
    const timeval receive{receiveMs / 1000, (receiveMs % 1000) * 1000};
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &receive, sizeof receive);
}

// What a receive answers when its time-out ran out.
inline bool IsTimeOut(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK;
}

// An accepted socket has its listener's time-outs.
inline constexpr bool kAcceptKeepsTimeOuts = true;

// A failure of accept() that concerns only the connection that was pending, not the listener.
inline bool IsTransientAcceptError(int error)
{
    switch (error) {
    case EAGAIN:
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case EPERM:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
    case ETIMEDOUT:
        return true;
    default:
        return false;
    }
}

inline bool IsResourceShortage(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

} // namespace ZiRez::Sys
