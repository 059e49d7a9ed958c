#pragma once

#include "net/SocketTypes.h"

#include <span>
#include <vector>

namespace Platform {
class CEvent;
}

namespace ZiRez {

// One wait for many sockets at once: up to timeOutMs (0: a look) until the wake event is
// signalled (and so taken) or one of the sockets is readable, closed or failed. ready gets
// one entry per socket, non-zero for those that are; INVALID_SOCKET_HANDLE entries are
// skipped. False when nothing happened in time or the wait failed.
bool WaitReadable(std::span<const SocketHandle> sockets, Platform::CEvent& wake, int timeOutMs,
                  std::vector<char>& ready);

} // namespace ZiRez
