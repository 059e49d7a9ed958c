#include "net/StackProbe.h"

#include <sys/socket.h>
#include <unistd.h>

namespace ZiRez {

namespace {

bool CanCreate(int family)
{
    const int probe = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        return false;
    }
    close(probe);
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
