#include "SystemSockets.h"
#include "net/CSocketWaiter.h"
#include "platform/CEvent.h"

#include <chrono>

namespace ZiRez {

namespace {

using Clock = std::chrono::steady_clock;

// WSAPoll waits for sockets only. With events in the list (or a flag that ends the wait),
// it waits in slices of this many milliseconds and the events are looked at between them,
// so a cancel is seen within one slice; without either it waits the whole time in one call.
constexpr int kEventSliceMs = 10;

// Error and hang-up end every kind of wait: the next call on the socket reports them.
// WSAPoll refuses POLLPRI: out-of-band data is POLLRDBAND there.
constexpr short kReadable = POLLRDNORM | POLLERR | POLLHUP;
constexpr short kWritable = POLLWRNORM | POLLERR | POLLHUP;
constexpr short kExceptional = POLLRDBAND | POLLERR | POLLHUP;

} // namespace

int CSocketWaiter::Poll(int32_t timeOut, bool read, bool write, bool exceptional)
{
    for (SocketHandle socket : m_sockets) {
        if (socket == INVALID_SOCKET_HANDLE) {
            Sys::RecordError(Sys::kBadHandle);
            return -1;
        }
    }
    const bool watchSockets = read || write || exceptional;
    if (timeOut < 0 && (m_events.empty() && (!watchSockets || m_sockets.empty()))) {
        Sys::RecordError(Sys::kInvalid);
        return -1;
    }
    const short socketEvents =
        static_cast<short>((read ? POLLRDNORM : 0) | (write ? POLLWRNORM : 0) | (exceptional ? POLLRDBAND : 0));
    std::vector<WSAPOLLFD> entries;
    if (watchSockets) {
        for (SocketHandle socket : m_sockets) {
            entries.push_back(WSAPOLLFD{socket, socketEvents, 0});
        }
    }
    std::vector<HANDLE> handles;
    for (Platform::CEvent* event : m_events) {
        handles.push_back(event->Descriptor());
    }

    const bool sliced = !handles.empty() || m_endFlag != nullptr;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeOut < 0 ? 0 : timeOut);
    for (;;) {
        int remaining = -1;
        if (timeOut > 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            remaining = left > 0 ? static_cast<int>(left) : 0;
        }
        const int slice =
            !sliced ? remaining : (remaining < 0 || remaining > kEventSliceMs ? kEventSliceMs : remaining);
        int ready = 0;
        if (!entries.empty()) {
            ready = WSAPoll(entries.data(), static_cast<ULONG>(entries.size()), slice);
            if (ready < 0) {
                Sys::RecordError(Sys::LastError());
                return -1;
            }
        } else if (handles.empty()) {
            Sleep(static_cast<DWORD>(slice));
        }
        if (ready > 0) {
            for (const WSAPOLLFD& entry : entries) {
                if ((entry.revents & POLLNVAL) != 0) {
                    Sys::RecordError(Sys::kBadHandle);
                    return -1;
                }
            }
            const struct
            {
                bool asked;
                short mask;
                int kind;
            } kinds[] = {
                {read, kReadable, KIND_READ}, {write, kWritable, KIND_WRITE}, {exceptional, kExceptional, KIND_EXCEPT}};
            for (const auto& kind : kinds) {
                if (!kind.asked) {
                    continue;
                }
                for (size_t i = 0; i < entries.size(); ++i) {
                    if ((entries[i].revents & kind.mask) != 0) {
                        m_readySocket = m_sockets[i];
                        m_readyKind = kind.kind;
                        return 1;
                    }
                }
            }
        }
        if (!handles.empty()) {
            // Without sockets to poll, the slice is spent waiting for the events themselves.
            const DWORD wait = entries.empty() ? static_cast<DWORD>(slice < 0 ? INFINITE : slice) : 0;
            const DWORD woken = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, wait);
            if (woken < WAIT_OBJECT_0 + handles.size()) {
                m_readyEvent = m_events[woken - WAIT_OBJECT_0];
                m_readyKind = KIND_READ;
                return 1;
            }
        }
        if ((m_endFlag != nullptr && m_endFlag->load(std::memory_order_acquire)) ||
            (timeOut > 0 && Clock::now() >= deadline)) {
            return 0;
        }
    }
}

} // namespace ZiRez
