#include "CRawUnitClient.h"

#include "ExchangeScript.h"
#include "Wire.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <string>
#include <sys/time.h>
#include <unistd.h>

namespace {

ExchangeResult Fail(ExchangeOutcome outcome, std::string detail)
{
    return {outcome, std::move(detail)};
}

// One connection on a blocking socket; closes its descriptor on every way out.
class CConnection
{
public:
    CConnection(int timeOutMs, bool quickAck) : m_timeOutMs(timeOutMs), m_quickAck(quickAck) {}
    ~CConnection()
    {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    ExchangeResult Connect(const ServiceAddress& address, const std::optional<ServiceAddress>& source)
    {
        m_fd = socket(address.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0) {
            return Fail(ExchangeOutcome::ConnectFailed, std::string("socket: ") + std::strerror(errno));
        }
        if (source && bind(m_fd, reinterpret_cast<const sockaddr*>(&source->storage), source->length) != 0) {
            return Fail(ExchangeOutcome::ConnectFailed, std::string("bind: ") + std::strerror(errno));
        }
        timeval limit{m_timeOutMs / 1000, (m_timeOutMs % 1000) * 1000};
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        // A unit writes header and payload separately; without this, Nagle would hold
        // the payload back until the service's delayed ACK.
        const int one = 1;
        setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        while (connect(m_fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
            if (errno == EINTR) {
                continue;
            }
            const ExchangeOutcome outcome = (errno == EAGAIN || errno == EINPROGRESS || errno == ETIMEDOUT)
                                                ? ExchangeOutcome::TimedOut
                                                : ExchangeOutcome::ConnectFailed;
            return Fail(outcome, std::string("connect: ") + std::strerror(errno));
        }
        return {};
    }

    ExchangeResult Run(const ExchangeStep& step)
    {
        switch (step.kind) {
        case ExchangeStep::Kind::Send:
            return Send(step);
        case ExchangeStep::Kind::Expect:
            return Expect(step);
        case ExchangeStep::Kind::ExpectClose:
            return ExpectClose();
        }
        return {};
    }

private:
    ExchangeResult Send(const ExchangeStep& step)
    {
        size_t done = 0;
        while (done < step.bytes.size()) {
            const ssize_t sent = send(m_fd, step.bytes.data() + done, step.bytes.size() - done, MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR) {
                continue;
            }
            if (sent < 0) {
                const ExchangeOutcome outcome =
                    errno == EAGAIN ? ExchangeOutcome::TimedOut : ExchangeOutcome::ClosedEarly;
                return Fail(outcome, std::string("send ") + step.what + ": " + std::strerror(errno));
            }
            done += static_cast<size_t>(sent);
        }
        return {};
    }

    ssize_t Receive(char* buffer, size_t length)
    {
        const ssize_t count = recv(m_fd, buffer, length, 0);
        if (m_quickAck) {
            // Linux clears it again after a while; set it after every receive.
            const int one = 1;
            setsockopt(m_fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
        }
        return count;
    }

    // Reads exactly as many bytes as expected and compares them.
    ExchangeResult Expect(const ExchangeStep& step)
    {
        std::string got(step.bytes.size(), '\0');
        size_t done = 0;
        while (done < got.size()) {
            const ssize_t count = Receive(got.data() + done, got.size() - done);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return Fail(ExchangeOutcome::TimedOut, std::string("waiting for ") + step.what);
            }
            if (count <= 0) {
                return Fail(ExchangeOutcome::ClosedEarly,
                            std::string("closed before ") + step.what + " (" + std::to_string(done) + " of " +
                                std::to_string(got.size()) +
                                " bytes: " + Wire::Hex(std::string_view(got).substr(0, done)) + ")");
            }
            done += static_cast<size_t>(count);
        }
        if (got != step.bytes) {
            return Fail(ExchangeOutcome::WrongBytes, DescribeMismatch(step, got));
        }
        return {};
    }

    ExchangeResult ExpectClose()
    {
        char extra[16];
        for (;;) {
            const ssize_t count = Receive(extra, sizeof extra);
            if (count == 0) {
                return {};
            }
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return Fail(ExchangeOutcome::TimedOut, "connection left open after the status");
            }
            if (count < 0) {
                // A reset after the last ACK still ends the connection.
                return {};
            }
            return Fail(ExchangeOutcome::WrongBytes,
                        "bytes after the status: " + Wire::Hex(std::string_view(extra, static_cast<size_t>(count))));
        }
    }

    int m_fd = -1;
    const int m_timeOutMs;
    const bool m_quickAck;
};

} // namespace

const char* OutcomeName(ExchangeOutcome outcome)
{
    switch (outcome) {
    case ExchangeOutcome::Ok:
        return "ok";
    case ExchangeOutcome::ConnectFailed:
        return "connect failed";
    case ExchangeOutcome::TimedOut:
        return "timed out";
    case ExchangeOutcome::ClosedEarly:
        return "closed early";
    case ExchangeOutcome::WrongBytes:
        return "wrong bytes";
    }
    return "?";
}

ServiceAddress ServiceAddress::Loopback(uint16_t port, bool ipv6)
{
    ServiceAddress address;
    if (ipv6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        in6->sin6_addr = in6addr_loopback;
        address.length = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&address.storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.length = sizeof(sockaddr_in);
    }
    return address;
}

ServiceAddress ServiceAddress::Of(const std::string& text, uint16_t port)
{
    ServiceAddress address;
    auto* in4 = reinterpret_cast<sockaddr_in*>(&address.storage);
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
    if (inet_pton(AF_INET, text.c_str(), &in4->sin_addr) == 1) {
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        address.length = sizeof(sockaddr_in);
    } else if (inet_pton(AF_INET6, text.c_str(), &in6->sin6_addr) == 1) {
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        address.length = sizeof(sockaddr_in6);
    } else {
        throw std::invalid_argument("not an IP address: " + text);
    }
    return address;
}

uint16_t ServiceAddress::Port() const
{
    if (storage.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
}

ExchangeResult CRawUnitClient::Run(const ExchangeScript& script) const
{
    CConnection connection(m_timeOutMs, m_quickAck);
    ExchangeResult result = connection.Connect(m_address, m_source);
    for (size_t i = 0; i < script.size() && result.Ok(); ++i) {
        result = connection.Run(script[i]);
    }
    return result;
}

ExchangeResult CRawUnitClient::Check() const
{
    return Run(CheckScript());
}

ExchangeResult CRawUnitClient::GetKey(std::string_view id, std::string_view mask, const uint8_t* sealedKey) const
{
    return Run(GetKeyScript(id, mask, sealedKey));
}
