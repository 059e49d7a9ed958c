#include "net/ReadinessPoll.h"

#include "platform/CEvent.h"

#include <poll.h>

namespace ZiRez {

bool WaitReadable(std::span<const SocketHandle> sockets, Platform::CEvent& wake, int timeOutMs,
                  std::vector<char>& ready)
{
    std::vector<pollfd> polled;
    polled.reserve(sockets.size() + 1);
    polled.push_back(pollfd{wake.Descriptor(), POLLIN, 0});
    for (const SocketHandle socket : sockets) {
        // A negative descriptor makes poll() skip the entry.
        polled.push_back(pollfd{socket, POLLIN, 0});
    }
    ready.assign(sockets.size(), 0);
    if (poll(polled.data(), polled.size(), timeOutMs < 0 ? 0 : timeOutMs) <= 0) {
        return false;
    }
    if (polled[0].revents != 0) {
        wake.TryTake();
    }
    for (size_t i = 0; i < sockets.size(); ++i) {
        ready[i] = polled[i + 1].revents != 0 ? 1 : 0;
    }
    return true;
}

} // namespace ZiRez
