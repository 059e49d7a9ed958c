// Both unit clients against a peer that answers right or wrong in each way a service could:
// every fault must be named as what it is, and a right answer must pass.
#include "BenchKeys.h"
#include "CEpollLoadClient.h"
#include "CRawUnitClient.h"
#include "ExchangeScript.h"
#include "Wire.h"

#include <arpa/inet.h>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

std::string FromHexText(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    }
    return out;
}

std::string Joined(const ExchangeScript& script, ExchangeStep::Kind kind)
{
    std::string out;
    for (const ExchangeStep& step : script) {
        if (step.kind == kind) {
            out += step.bytes;
        }
    }
    return out;
}

TEST(ExchangeScriptTest, GetKeyCarriesTheExactBytesOfTheProtocol)
{
    const uint8_t key[32] = {0xAB};
    const ExchangeScript script = GetKeyScript("ID", std::string("\x01\x02", 2), key);
    EXPECT_EQ(Wire::Hex(Joined(script, ExchangeStep::Kind::Send)), "00000001000000100000000200000002"
                                                                   "4944"
                                                                   "00000002000000020102"
                                                                   "00000003000000000000000300000000");
    EXPECT_EQ(Wire::Hex(Joined(script, ExchangeStep::Kind::Expect)), "0000000300000000"
                                                                     "0000000300000000"
                                                                     "0000000300000000"
                                                                     "0000000200000020"
                                                                     "ab" +
                                                                         std::string(62, '0') +
                                                                         "0000000500000018"
                                                                         "00000000000000000000000000000000"
                                                                         "0000000000000000");
    EXPECT_EQ(script.back().kind, ExchangeStep::Kind::ExpectClose);

    const ExchangeScript missing = GetKeyScript("ID", "m", nullptr);
    const std::string expected = Joined(missing, ExchangeStep::Kind::Expect);
    EXPECT_EQ(Wire::Hex(expected.substr(expected.size() - 32)),
              "0000000500000018000000020000000100000000000000000000000000000000");
}

TEST(ExchangeScriptTest, SealingAddsIdentifierThenMaskCyclically)
{
    LockKey key{};
    key[0] = 0xF0;
    key[5] = 0x10;
    const LockKey sealed = SealForTransfer(key, "A", std::string("\x01\x02", 2));
    EXPECT_EQ(sealed[0], 0x32); // 0xF0 + 'A' + 1, modulo 256
    EXPECT_EQ(sealed[1], 0x43);
    EXPECT_EQ(sealed[5], 0x10 + 0x41 + 2);
    EXPECT_EQ(SealForTransfer(key, "", ""), key);
}

// A peer on loopback that takes one connection and answers with the given behaviour.
class CScriptedPeer
{
public:
    using Behaviour = std::function<void(int fd)>;

    explicit CScriptedPeer(Behaviour behaviour)
    {
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_listener, 4);
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, behaviour] {
            const int fd = accept(m_listener, nullptr, nullptr);
            if (fd >= 0) {
                // As the service does: each reply leaves at once.
                const int one = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                behaviour(fd);
                close(fd);
            }
        });
    }
    ~CScriptedPeer()
    {
        m_thread.join();
        close(m_listener);
    }
    ServiceAddress Address() const { return ServiceAddress::Loopback(m_port); }

private:
    int m_listener = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
};

bool ReadExactly(int fd, size_t count)
{
    std::string buffer(count, '\0');
    size_t done = 0;
    while (done < count) {
        const ssize_t got = recv(fd, buffer.data() + done, count - done, 0);
        if (got <= 0) {
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

void Write(int fd, const std::string& hex)
{
    const std::string bytes = FromHexText(hex);
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

const std::string kAck = "0000000300000000";
const std::string kOkStatus = "0000000500000018" + std::string(48, '0');
const std::string kMissStatus = "000000050000001800000002000000010000000000000000" + std::string(16, '0');
const std::string kKeyHex = "ab" + std::string(62, '0');

// Reads the request and both items of a GET_KEY for the identifier "ID" and a 2-byte
// mask, acknowledging each, then answers with `reply` (ACKs from the client are read
// where the protocol has them).
CScriptedPeer::Behaviour GetKeyPeer(std::function<void(int)> reply)
{
    return [reply](int fd) {
        if (ReadExactly(fd, 8)) {
            Write(fd, kAck);
        }
        if (ReadExactly(fd, 8 + 2)) {
            Write(fd, kAck);
        }
        if (ReadExactly(fd, 8 + 2)) {
            Write(fd, kAck);
        }
        reply(fd);
    };
}

void ServeKeyThen(int fd, const std::string& afterStatus)
{
    Write(fd, "0000000200000020" + kKeyHex);
    ReadExactly(fd, 8);
    Write(fd, kOkStatus + afterStatus);
    ReadExactly(fd, 8);
}

ExchangeResult RunBlocking(const ServiceAddress& address, const ExchangeScript& script)
{
    return CRawUnitClient(address, 400).Run(script);
}

ExchangeResult RunEpoll(const ServiceAddress& address, const ExchangeScript& script)
{
    ExchangeResult last{ExchangeOutcome::TimedOut, "no result"};
    bool started = false;
    CEpollLoadClient(address, 400, false)
        .Run(
            1, CEpollLoadClient::Clock::now() + std::chrono::seconds(10),
            [&]() -> std::optional<ExchangeScript> {
                // One exchange only: the peer takes one connection.
                if (started) {
                    return std::nullopt;
                }
                started = true;
                return script;
            },
            [&](const ExchangeResult& result, int64_t) { last = result; });
    return last;
}

TEST(UnitClientTest, EachClientNamesEveryKindOfWrongReply)
{
    const uint8_t key[32] = {0xAB};
    const ExchangeScript script = GetKeyScript("ID", std::string("\x01\x02", 2), key);
    const struct
    {
        const char* name;
        CScriptedPeer::Behaviour peer;
        ExchangeOutcome outcome;
    } cases[] = {
        {"right reply", GetKeyPeer([](int fd) { ServeKeyThen(fd, ""); }), ExchangeOutcome::Ok},
        {"wrong key byte", GetKeyPeer([](int fd) {
             Write(fd, "0000000200000020ac" + std::string(62, '0'));
             ReadExactly(fd, 8);
         }),
         ExchangeOutcome::WrongBytes},
        // Seen at the header, not waited for as the rest of a longer packet.
        {"status in place of the key", GetKeyPeer([](int fd) {
             Write(fd, kMissStatus);
             ReadExactly(fd, 8);
         }),
         ExchangeOutcome::WrongBytes},
        {"closed before the key", GetKeyPeer([](int) {}), ExchangeOutcome::ClosedEarly},
        {"silent after the items", GetKeyPeer([](int fd) {
             char byte;
             recv(fd, &byte, 1, 0); // until the client gives up and closes
         }),
         ExchangeOutcome::TimedOut},
        {"bytes after the status", GetKeyPeer([](int fd) { ServeKeyThen(fd, kAck); }), ExchangeOutcome::WrongBytes},
        {"refused first packet",
         [](int fd) {
             ReadExactly(fd, 8);
             Write(fd, "0000000400000000");
         },
         ExchangeOutcome::WrongBytes},
    };
    for (const auto& entry : cases) {
        for (const bool epoll : {false, true}) {
            const CScriptedPeer peer(entry.peer);
            const ExchangeResult result =
                epoll ? RunEpoll(peer.Address(), script) : RunBlocking(peer.Address(), script);
            EXPECT_EQ(result.outcome, entry.outcome)
                << entry.name << (epoll ? " (epoll)" : " (blocking)") << ": " << result.detail;
        }
    }
}

TEST(UnitClientTest, NothingListeningIsAConnectFailure)
{
    ServiceAddress address;
    {
        const CScriptedPeer peer([](int) {});
        address = peer.Address();
        // Let the peer's thread finish: connect once and close.
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length);
        close(fd);
    }
    EXPECT_EQ(RunBlocking(address, CheckScript()).outcome, ExchangeOutcome::ConnectFailed);
    EXPECT_EQ(RunEpoll(address, CheckScript()).outcome, ExchangeOutcome::ConnectFailed);
}

} // namespace
