#include "CRawUnitClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kKeyLength = 32;

void PutWord(std::string& out, uint32_t value)
{
    const uint32_t big = htonl(value);
    out.append(reinterpret_cast<const char*>(&big), sizeof big);
}

std::string Header(uint32_t type, uint32_t value)
{
    std::string out;
    PutWord(out, type);
    PutWord(out, value);
    return out;
}

std::string StatusBlock(uint32_t status, uint32_t detail)
{
    std::string out;
    PutWord(out, status);
    PutWord(out, detail);
    out.append(16, '\0');
    return out;
}

const std::string kAck = Header(3, 0);

std::string Hex(std::string_view bytes, size_t from, size_t count)
{
    std::string out;
    for (size_t i = from; i < bytes.size() && i < from + count; ++i) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(bytes[i]));
        out += digits;
    }
    return out;
}

// Runs the steps in order and stops at the first that fails.
template <typename... Steps> ExchangeResult Run(Steps&&... steps)
{
    ExchangeResult result;
    ((result.Ok() ? (void)(result = steps()) : (void)0), ...);
    return result;
}

// One connection; closes its descriptor on every way out.
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

    ExchangeResult Connect(const ServiceAddress& address)
    {
        m_fd = socket(address.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0) {
            return Fail(ExchangeOutcome::ConnectFailed, std::string("socket: ") + std::strerror(errno));
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

    ExchangeResult Send(std::string_view bytes, const char* what)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t sent = send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR) {
                continue;
            }
            if (sent < 0) {
                const ExchangeOutcome outcome =
                    errno == EAGAIN ? ExchangeOutcome::TimedOut : ExchangeOutcome::ClosedEarly;
                return Fail(outcome, std::string("send ") + what + ": " + std::strerror(errno));
            }
            done += static_cast<size_t>(sent);
        }
        return {};
    }

    // Reads exactly as many bytes as expected and compares them.
    ExchangeResult Expect(std::string_view expected, const char* what)
    {
        std::string got(expected.size(), '\0');
        size_t done = 0;
        while (done < got.size()) {
            const ssize_t count = recv(m_fd, got.data() + done, got.size() - done, 0);
            if (m_quickAck) {
                // Linux clears it again after a while; set it after every receive.
                const int one = 1;
                setsockopt(m_fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
            }
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return Fail(ExchangeOutcome::TimedOut, std::string("waiting for ") + what);
            }
            if (count <= 0) {
                return Fail(ExchangeOutcome::ClosedEarly,
                            std::string("closed before ") + what + " (" + std::to_string(done) + " of " +
                                std::to_string(got.size()) + " bytes: " + Hex(got, 0, done) + ")");
            }
            done += static_cast<size_t>(count);
        }
        if (got != expected) {
            size_t at = 0;
            while (got[at] == expected[at]) {
                ++at;
            }
            return Fail(ExchangeOutcome::WrongBytes, std::string(what) + " differs at byte " + std::to_string(at) +
                                                         ": got " + Hex(got, 0, got.size()) + ", expected " +
                                                         Hex(expected, 0, expected.size()));
        }
        return {};
    }

    // A header first, so that a status in place of a key is seen at once rather than
    // waited for as the rest of a longer packet.
    ExchangeResult ExpectPacket(uint32_t type, std::string_view payload, const char* what)
    {
        return Run([&] { return Expect(Header(type, static_cast<uint32_t>(payload.size())), what); },
                   [&] { return Expect(payload, what); });
    }

    ExchangeResult ExpectStatus(uint32_t status, uint32_t detail, const char* what)
    {
        return Run([&] { return ExpectPacket(5, StatusBlock(status, detail), what); },
                   [&] { return Send(kAck, "status ACK"); });
    }

    // The service closes every connection after its one request.
    ExchangeResult ExpectClose()
    {
        char extra[16];
        for (;;) {
            const ssize_t count = recv(m_fd, extra, sizeof extra, 0);
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
                        "bytes after the status: " + Hex(std::string_view(extra, static_cast<size_t>(count)), 0, 16));
        }
    }

private:
    static ExchangeResult Fail(ExchangeOutcome outcome, std::string detail) { return {outcome, std::move(detail)}; }

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

uint16_t ServiceAddress::Port() const
{
    if (storage.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
}

ExchangeResult CRawUnitClient::Check() const
{
    CConnection connection(m_timeOutMs, m_quickAck);
    return Run([&] { return connection.Connect(m_address); }, [&] { return connection.Send(Header(1, 1), "request"); },
               [&] { return connection.Expect(kAck, "request ACK"); },
               [&] { return connection.ExpectStatus(0, 0, "status (0, 0)"); },
               [&] { return connection.ExpectClose(); });
}

ExchangeResult CRawUnitClient::GetKey(std::string_view id, std::string_view mask, const uint8_t* sealedKey) const
{
    CConnection connection(m_timeOutMs, m_quickAck);
    const auto sendItem = [&](std::string_view bytes, const char* what) {
        return Run([&] { return connection.Send(Header(2, static_cast<uint32_t>(bytes.size())), what); },
                   [&] { return connection.Send(bytes, what); }, [&] { return connection.Expect(kAck, "item ACK"); });
    };
    const auto receiveKey = [&] {
        if (sealedKey == nullptr) {
            return connection.ExpectStatus(2, 1, "status (2, 1)");
        }
        const std::string_view key(reinterpret_cast<const char*>(sealedKey), kKeyLength);
        return Run([&] { return connection.ExpectPacket(2, key, "sealed key"); },
                   [&] { return connection.Send(kAck, "key ACK"); },
                   [&] { return connection.ExpectStatus(0, 0, "status (0, 0)"); });
    };
    return Run([&] { return connection.Connect(m_address); }, [&] { return connection.Send(Header(1, 16), "request"); },
               [&] { return connection.Expect(kAck, "request ACK"); }, [&] { return sendItem(id, "identifier"); },
               [&] { return sendItem(mask, "mask"); }, receiveKey, [&] { return connection.ExpectClose(); });
}
