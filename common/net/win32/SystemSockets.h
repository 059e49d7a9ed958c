#pragma once

// The socket calls of this system as the socket layer uses them (Winsock 2); linux/ has
// the same names over POSIX. Errors are Winsock codes from the start.
#include "net/SocketErrors.h"
#include "net/SocketTypes.h"
#include "platform/win32/Win32.h"

#include <span>

namespace ZiRez::Sys {

inline constexpr int kInterrupted = WSAEINTR;
inline constexpr int kWouldBlock = WSAEWOULDBLOCK;
inline constexpr int kInProgress = WSAEWOULDBLOCK; // what a non-blocking connect answers
inline constexpr int kInvalid = WSAEINVAL;
inline constexpr int kBadHandle = WSAENOTSOCK;
// What the layer's "reuse address" asks for on a listener. Winsock's SO_REUSEADDR would let
// a second program bind a port another one listens on (and take its connections), so the
// port-in-use check would pass a port that is taken; Windows rebinds over closing
// connections without it, and SO_EXCLUSIVEADDRUSE refuses a port held by anyone else.
inline constexpr int kReuseAddress = SO_EXCLUSIVEADDRUSE;

inline constexpr int kNoFamily = WSAEAFNOSUPPORT;

inline int LastError()
{
    return WSAGetLastError();
}

inline int32_t RecordError(int error)
{
    SetLastSocketError(error);
    return error;
}

inline SocketHandle OpenSocket(int family, int type)
{
    // Not inherited by child processes, as SOCK_CLOEXEC on Linux.
    const SOCKET socket = WSASocketW(family, type, 0, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    return socket == INVALID_SOCKET ? INVALID_SOCKET_HANDLE : socket;
}

inline void CloseSocket(SocketHandle socket)
{
    closesocket(socket);
}

inline SocketHandle AcceptSocket(SocketHandle listener, sockaddr* peer, socklen_t* length)
{
    const SOCKET socket = accept(listener, peer, length);
    if (socket == INVALID_SOCKET) {
        return INVALID_SOCKET_HANDLE;
    }
    // The new socket inherits the listener's event selection and non-blocking mode: it
    // starts plain and blocking, as on Linux.
    WSAEventSelect(socket, nullptr, 0);
    u_long blocking = 0;
    ioctlsocket(socket, FIONBIO, &blocking);
    return socket;
}

// Winsock's shutdown neither ends a receive or a WSAPoll that another thread is in nor
// makes the socket readable for the next wait (a receive then fails at once with
// WSAESHUTDOWN): the calls in progress on the socket are cancelled too, and fail with
// WSA_OPERATION_ABORTED.
inline void ShutDownSocket(SocketHandle socket)
{
    shutdown(socket, SD_BOTH);
    CancelIoEx(reinterpret_cast<HANDLE>(socket), nullptr);
}

inline long SendSome(SocketHandle socket, const void* bytes, int length)
{
    return send(socket, static_cast<const char*>(bytes), length, 0);
}

inline long ReceiveSome(SocketHandle socket, void* buffer, int length)
{
    return recv(socket, static_cast<char*>(buffer), length, 0);
}

// Winsock has no per-call non-blocking flag: a look with WSAPoll first, so that the call
// that follows finds the socket ready, or fails with kWouldBlock.
inline bool ReadyNow(SocketHandle socket, short events)
{
    WSAPOLLFD entry{socket, events, 0};
    const int ready = WSAPoll(&entry, 1, 0);
    if (ready == 0) {
        WSASetLastError(WSAEWOULDBLOCK);
    }
    return ready > 0;
}

inline long SendWithoutWaiting(SocketHandle socket, const void* bytes, int length)
{
    return ReadyNow(socket, POLLWRNORM) ? SendSome(socket, bytes, length) : -1;
}

inline long ReceiveWithoutWaiting(SocketHandle socket, void* buffer, int length)
{
    return ReadyNow(socket, POLLRDNORM) ? ReceiveSome(socket, buffer, length) : -1;
}

// True when the peer's bytes wait unread on the socket.
inline bool HasUnreadInput(SocketHandle socket)
{
    u_long unread = 0;
    return ioctlsocket(socket, FIONREAD, &unread) == 0 && unread > 0;
}

// The longest queue of connections not yet accepted. A plain SOMAXCONN lets Winsock pick a
// "reasonable" length of about 200, which a boot storm overruns; SOMAXCONN_HINT(65535), the
// most it takes, is the negated length (mingw's headers lack the macro).
inline constexpr int kListenBacklog = -65535;

// One listener per family: that queue holds a boot storm, and Winsock's port sharing would
// let any program take the units' connections.
inline constexpr int kListenersPerFamily = 1;

// The connections waiting in each listener's queue: Winsock does not tell.
inline bool QueuedConnections(std::span<const SocketHandle>, std::span<int>)
{
    return false;
}

// Never called while there is one listener per family.
inline int SharePort(SocketHandle)
{
    return SOCKET_ERROR;
}

inline int SetSocketOption(SocketHandle socket, int level, int option, const void* value, int length)
{
    if (setsockopt(socket, level, option, static_cast<const char*>(value), length) == 0) {
        return 0;
    }
    // Wine has no SO_EXCLUSIVEADDRUSE; without SO_REUSEADDR its binds refuse a port in use.
    return level == SOL_SOCKET && option == SO_EXCLUSIVEADDRUSE && WSAGetLastError() == WSAENOPROTOOPT ? 0 : -1;
}

inline int PendingError(SocketHandle socket)
{
    int pending = 0;
    int length = sizeof pending;
    return getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending), &length) != 0 ? WSAGetLastError()
                                                                                                     : pending;
}

inline int SetNonBlocking(SocketHandle socket, bool nonBlocking)
{
    u_long argument = nonBlocking ? 1 : 0;
    return ioctlsocket(socket, FIONBIO, &argument) == 0 ? 0 : -1;
}

inline void SetSendTimeOut(SocketHandle socket, int milliseconds)
{
    const DWORD limit = static_cast<DWORD>(milliseconds);
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
}

inline void SetTimeOuts(SocketHandle socket, int sendMs, int receiveMs)
{
    const DWORD send = static_cast<DWORD>(sendMs);
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&send), sizeof send);
    const DWORD receive = static_cast<DWORD>(receiveMs);
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receive), sizeof receive);
}

inline bool IsTimeOut(int error)
{
    return error == WSAETIMEDOUT || error == WSAEWOULDBLOCK;
}

// Winsock does not promise an accepted socket its listener's time-outs: they are set again.
inline constexpr bool kAcceptKeepsTimeOuts = false;

inline bool IsTransientAcceptError(int error)
{
    switch (error) {
    case WSAEWOULDBLOCK:
    case WSAEINTR:
    case WSAECONNABORTED:
    case WSAECONNRESET:
    case WSAENETDOWN:
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
    case WSAETIMEDOUT:
        return true;
    default:
        return false;
    }
}

inline bool IsResourceShortage(int error)
{
    return error == WSAEMFILE || error == WSAENOBUFS || error == WSA_NOT_ENOUGH_MEMORY;
}

} // namespace ZiRez::Sys
