#include "CEpollLoadClient.h"

#include "Wire.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <string>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = CEpollLoadClient::Clock;

struct Slot
{
    int fd = -1;
    bool connecting = false;
    ExchangeScript script;
    size_t step = 0;
    size_t offset = 0;
    std::string got;
    Clock::time_point start;
    Clock::time_point restartAt;
};

enum class Progress
{
    Waiting,
    Finished,
};

class CEpollRun
{
public:
    CEpollRun(const ServiceAddress& address, int timeOutMs, bool quickAck, const CEpollLoadClient::Finished& finished)
        : m_address(address), m_timeOutMs(timeOutMs), m_quickAck(quickAck), m_finished(finished),
          m_epoll(epoll_create1(EPOLL_CLOEXEC))
    {
        if (m_epoll < 0) {
            throw std::runtime_error(std::string("epoll_create1: ") + std::strerror(errno));
        }
    }
    ~CEpollRun() { close(m_epoll); }
    CEpollRun(const CEpollRun&) = delete;
    CEpollRun& operator=(const CEpollRun&) = delete;

    void Run(int inFlight, Clock::time_point deadline, const CEpollLoadClient::NextScript& next)
    {
        std::vector<Slot> slots(static_cast<size_t>(inFlight));
        std::vector<epoll_event> events(slots.size());
        size_t open = 0;
        bool more = true;
        for (;;) {
            const auto now = Clock::now();
            more = more && now < deadline;
            for (size_t i = 0; i < slots.size(); ++i) {
                Slot& slot = slots[i];
                if (slot.fd < 0 && more && now >= slot.restartAt) {
                    std::optional<ExchangeScript> script = next();
                    if (!script) {
                        more = false;
                        continue;
                    }
                    Start(slot, i, std::move(*script));
                    open += slot.fd >= 0 ? 1 : 0;
                } else if (slot.fd >= 0 && now - slot.start > std::chrono::milliseconds(m_timeOutMs)) {
                    Finish(slot, {ExchangeOutcome::TimedOut, std::string("waiting for ") + Current(slot).what});
                    --open;
                }
            }
            if (open == 0 && !more) {
                return;
            }
            const int ready = epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), 20);
            for (int e = 0; e < ready; ++e) {
                Slot& slot = slots[events[static_cast<size_t>(e)].data.u32];
                if (slot.fd >= 0 && Advance(slot) == Progress::Finished) {
                    --open;
                }
            }
        }
    }

private:
    static const ExchangeStep& Current(const Slot& slot) { return slot.script[slot.step]; }

    void Start(Slot& slot, size_t index, ExchangeScript script)
    {
        slot.script = std::move(script);
        slot.step = 0;
        slot.offset = 0;
        slot.start = Clock::now();
        slot.fd = socket(m_address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (slot.fd < 0) {
            Finish(slot, {ExchangeOutcome::ConnectFailed, std::string("socket: ") + std::strerror(errno)});
            return;
        }
        const int one = 1;
        setsockopt(slot.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (connect(slot.fd, reinterpret_cast<const sockaddr*>(&m_address.storage), m_address.length) != 0 &&
            errno != EINPROGRESS) {
            Finish(slot, {ExchangeOutcome::ConnectFailed, std::string("connect: ") + std::strerror(errno)});
            return;
        }
        slot.connecting = true;
        epoll_event interest{};
        interest.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
        interest.data.u32 = static_cast<uint32_t>(index);
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, slot.fd, &interest);
    }

    Progress Finish(Slot& slot, const ExchangeResult& result)
    {
        const auto end = Clock::now();
        if (slot.fd >= 0) {
            close(slot.fd);
            slot.fd = -1;
        }
        // A service that is gone refuses at once; do not spin on it.
        slot.restartAt = result.outcome == ExchangeOutcome::ConnectFailed ? end + std::chrono::milliseconds(10) : end;
        m_finished(result, std::chrono::duration_cast<std::chrono::nanoseconds>(end - slot.start).count());
        return Progress::Finished;
    }

    void QuickAck(const Slot& slot) const
    {
        if (m_quickAck) {
            const int one = 1;
            setsockopt(slot.fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
        }
    }

    // Runs the script as far as the socket allows without waiting.
    Progress Advance(Slot& slot)
    {
        if (slot.connecting) {
            int error = 0;
            socklen_t length = sizeof error;
            getsockopt(slot.fd, SOL_SOCKET, SO_ERROR, &error, &length);
            if (error != 0) {
                return Finish(slot, {ExchangeOutcome::ConnectFailed, std::string("connect: ") + std::strerror(error)});
            }
            slot.connecting = false;
        }
        for (;;) {
            const ExchangeStep& step = Current(slot);
            if (step.kind == ExchangeStep::Kind::Send) {
                const ssize_t sent =
                    send(slot.fd, step.bytes.data() + slot.offset, step.bytes.size() - slot.offset, MSG_NOSIGNAL);
                if (sent < 0) {
                    if (errno == EAGAIN || errno == EINTR) {
                        return Progress::Waiting;
                    }
                    return Finish(slot, {ExchangeOutcome::ClosedEarly,
                                         std::string("send ") + step.what + ": " + std::strerror(errno)});
                }
                slot.offset += static_cast<size_t>(sent);
            } else if (step.kind == ExchangeStep::Kind::Expect) {
                slot.got.resize(step.bytes.size());
                const ssize_t count = recv(slot.fd, slot.got.data() + slot.offset, step.bytes.size() - slot.offset, 0);
                QuickAck(slot);
                if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
                    return Progress::Waiting;
                }
                if (count <= 0) {
                    return Finish(slot, {ExchangeOutcome::ClosedEarly,
                                         std::string("closed before ") + step.what + " (" +
                                             std::to_string(slot.offset) + " of " + std::to_string(step.bytes.size()) +
                                             " bytes: " + Wire::Hex(std::string_view(slot.got).substr(0, slot.offset)) +
                                             ")"});
                }
                slot.offset += static_cast<size_t>(count);
                if (slot.offset == step.bytes.size() && slot.got != step.bytes) {
                    return Finish(slot, {ExchangeOutcome::WrongBytes, DescribeMismatch(step, slot.got)});
                }
            } else {
                char extra[16];
                const ssize_t count = recv(slot.fd, extra, sizeof extra, 0);
                if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
                    return Progress::Waiting;
                }
                if (count > 0) {
                    return Finish(slot, {ExchangeOutcome::WrongBytes,
                                         "bytes after the status: " +
                                             Wire::Hex(std::string_view(extra, static_cast<size_t>(count)))});
                }
                // The close, or a reset after the last ACK: the exchange is complete.
                return Finish(slot, {});
            }
            if (slot.offset == step.bytes.size()) {
                ++slot.step;
                slot.offset = 0;
            }
        }
    }

    const ServiceAddress& m_address;
    const int m_timeOutMs;
    const bool m_quickAck;
    const CEpollLoadClient::Finished& m_finished;
    const int m_epoll;
};

} // namespace

void CEpollLoadClient::Run(int inFlight, Clock::time_point deadline, const NextScript& next,
                           const Finished& finished) const
{
    CEpollRun run(m_address, m_timeOutMs, m_quickAck, finished);
    run.Run(inFlight, deadline, next);
}
