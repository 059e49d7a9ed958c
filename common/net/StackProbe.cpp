#include "net/StackProbe.h"

#include "SystemSockets.h"

namespace ZiRez {

namespace {

bool CanCreate(int family)
{
    const SocketHandle probe = Sys::OpenSocket(family, SOCK_STREAM);
    if (probe == INVALID_SOCKET_HANDLE) {
        return false;
    }
    Sys::CloseSocket(probe);
    return true;
}

} // namespace

bool IsIPv4Available()
{
    return CanCreate(AF_INET);
}

bool IsIPv6Available()
{
    return CanCreate(AF_INET6);
}

} // namespace ZiRez
