#include "net/ReadinessPoll.h"

#include "SystemSockets.h"
#include "platform/CEvent.h"

#include <chrono>

namespace ZiRez {

namespace {

// WSAPoll waits for sockets only: the wake event is looked at between slices this long.
constexpr int kWakeSliceMs = 10;

} // namespace

bool WaitReadable(std::span<const SocketHandle> sockets, Platform::CEvent& wake, int timeOutMs,
                  std::vector<char>& ready)
{
    std::vector<WSAPOLLFD> polled;
    std::vector<size_t> positions;
    for (size_t i = 0; i < sockets.size(); ++i) {
        if (sockets[i] != INVALID_SOCKET_HANDLE) {
            polled.push_back(WSAPOLLFD{sockets[i], POLLRDNORM, 0});
            positions.push_back(i);
        }
    }
    ready.assign(sockets.size(), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeOutMs < 0 ? 0 : timeOutMs);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int slice = static_cast<int>(std::max<long long>(0, std::min<long long>(left.count(), kWakeSliceMs)));
        int count = 0;
        if (polled.empty()) {
            if (wake.Wait(slice)) {
                return true;
            }
        } else {
            count = WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), slice);
            if (count < 0) {
                return false;
            }
        }
        const bool woken = !polled.empty() && wake.TryTake();
        for (size_t i = 0; i < polled.size(); ++i) {
            ready[positions[i]] = polled[i].revents != 0 ? 1 : 0;
        }
        if (count > 0 || woken) {
            return true;
        }
        if (left.count() <= kWakeSliceMs) {
            return false;
        }
    }
}

} // namespace ZiRez
