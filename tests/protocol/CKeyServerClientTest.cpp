#include "protocol/CKeyServerClient.h"

#include "ClientPeer.h"
#include "Outcome.h"
#include "ScriptedPeer.h"
#include "net/CSocketError.h"
#include "net/CSocketTimeOut.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// How the server answers a packet the client sent or awaits, and what the client makes of it.
struct ReplyCase
{
    const char* name;
    std::string reply;
    bool closeAfterwards;
    Outcome outcome;
    // The reply carries a status block, which the client acknowledges before it throws.
    bool statusAcknowledged;
};

// Status codes read where an ACK or data was awaited, with the error that each raises in place
// of the caller's own.
std::vector<ReplyCase> StatusIntercepts(const Outcome& ownError)
{
    return {
        {"status 0", StatusPacket(0, 0), false, ownError, true},
        {"status 3", StatusPacket(3, 0), false, ownError, true},
        {"status 1", StatusPacket(1, 0), false, Unsupported(), true},
        {"status (2, 1)", StatusPacket(2, 1), false, SocketFailure("Request execution error!!"), true},
        {"status (2, 4)", StatusPacket(2, 4), false, SocketFailure("Request execution error!!"), true},
        {"status (4, 2)", StatusPacket(4, 2), false, Auth(), true},
        {"reject, then status 1", Header(4, 0) + StatusPacket(1, 0), false, Unsupported(), true},
        {"reject, then status 0", Header(4, 0) + StatusPacket(0, 0), false, ownError, true},
        {"status header of the wrong length", Header(5, 8) + std::string(8, '\0'), false,
         SocketFailure("Status Packet Receive Error!"), false},
        {"reject without a status", Header(4, 0) + Header(2, 4), false, SocketFailure("Status Packet Receive Error!"),
         false},
        {"status block cut short", Header(5, 24) + std::string(10, '\0'), true, SocketFailure("Socket Read Error!", 3),
         false},
    };
}

void CheckReply(CClientPeer& session, const ReplyCase& c, std::future<void>& operation)
{
    session.Peer().SendSplit(c.reply, {3});
    if (c.closeAfterwards) {
        session.Peer().ShutdownWrite();
    }
    EXPECT_EQ(Finish(operation), c.outcome);
    if (c.statusAcknowledged) {
        EXPECT_EQ(Hex(session.Peer().Read(8)), Hex(Ack()));
    }
}

TEST(KeyServerClient, RequestHeaderIsByteExact)
{
    CClientPeer session;
    auto sent = session.Run([](CKeyServerClient& c) { c.SendRequest(16); });
    EXPECT_EQ(Hex(session.Peer().Read(8)), "00 00 00 01 00 00 00 10");
    session.Peer().Send(Ack());
    EXPECT_EQ(Finish(sent), Ok());
}

TEST(KeyServerClient, AckCheckAfterEverySend)
{
    const Outcome ownError = SocketFailure("Send data receiving ACK Error!");
    std::vector<ReplyCase> cases = {
        {"ack", Ack(), false, Ok(), false},
        {"data in place of an ack", Header(2, 0), false, ownError, false},
        {"request in place of an ack", Header(1, 1), false, ownError, false},
        {"peer closes", "", true, ownError, false},
    };
    for (const ReplyCase& c : StatusIntercepts(ownError)) {
        cases.push_back(c);
    }
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.name);
        CClientPeer session;
        auto sent = session.Run([](CKeyServerClient& client) { client.SendInt(2); });
        EXPECT_EQ(Hex(session.Peer().Read(12)), "00 00 00 02 00 00 00 04 00 00 00 02");
        CheckReply(session, c, sent);
    }
}

TEST(KeyServerClient, DataIsSentAsOnePacket)
{
    CClientPeer session;
    auto sent = session.Run([](CKeyServerClient& c) {
        c.SendData(std::string("0123456789AB"));
        c.SendInt(-1);
    });
    session.ExpectAndAck(Header(2, 12) + "0123456789AB");
    EXPECT_EQ(Hex(session.Peer().Read(12)), "00 00 00 02 00 00 00 04 ff ff ff ff");
    session.Peer().Send(Ack());
    EXPECT_EQ(Finish(sent), Ok());
}

TEST(KeyServerClient, DataCheckBeforeEveryReceive)
{
    const Outcome ownError = SocketFailure("Data packet Receive Error!");
    std::vector<ReplyCase> cases = {
        {"ack in place of data", Ack(), false, ownError, false},
        {"peer closes", "", true, ownError, false},
        {"int of length 8", Header(2, 8) + std::string(8, '\0'), false, SocketFailure("Int Size Invalid Error!"),
         false},
        {"int of length 0", Header(2, 0), false, SocketFailure("Int Size Invalid Error!"), false},
        {"int cut short", Header(2, 4) + std::string(2, '\0'), true, SocketFailure("Socket Read Error!", 3), false},
    };
    for (const ReplyCase& c : StatusIntercepts(ownError)) {
        cases.push_back(c);
    }
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.name);
        CClientPeer session;
        auto received = session.Run([](CKeyServerClient& client) { client.ReceiveInt(); });
        CheckReply(session, c, received);
    }
}

TEST(KeyServerClient, ReceivedItemsAreAcknowledged)
{
    CClientPeer session;
    auto received = session.Run([](CKeyServerClient& c) {
        std::string first;
        std::string second;
        c.ReceiveData(first);
        c.ReceiveData(second);
        return std::vector<std::string>{first, second, std::to_string(c.ReceiveInt())};
    });
    session.Peer().SendSplit(DataPacket("abc"), {4, 5});
    EXPECT_EQ(Hex(session.Peer().Read(8)), Hex(Ack()));
    session.SendAndExpectAck(Header(2, 0));
    session.SendAndExpectAck(IntPacket(-123456));
    EXPECT_EQ(received.get(), (std::vector<std::string>{"abc", "", "-123456"}));
}

TEST(KeyServerClient, ReceiveDataRefusesAbsurdLengths)
{
    for (uint32_t length : {uint32_t{kMaxDataLength + 1}, uint32_t{0xFFFFFFFF}}) {
        CClientPeer session;
        auto received = session.Run([](CKeyServerClient& c) {
            std::string out;
            c.ReceiveData(out);
        });
        session.Peer().Send(Header(2, length));
        EXPECT_EQ(Finish(received), SocketFailure("Data Size Invalid Error!"));
    }
}

TEST(KeyServerClient, ReceiveStatus)
{
    const Outcome wrongPacket = SocketFailure("Status Packet Receive Error!");
    const std::vector<ReplyCase> cases = {
        {"status (2, 4)", StatusPacket(2, 4), false, Ok(), true},
        {"status of length 20", Header(5, 20) + std::string(20, '\0'), false, wrongPacket, false},
        {"data of length 24", Header(2, 24) + std::string(24, '\0'), false, wrongPacket, false},
        {"reject", Header(4, 0) + StatusPacket(1, 0), false, wrongPacket, false},
        {"peer closes", "", true, wrongPacket, false},
    };
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.name);
        CClientPeer session;
        auto received = session.Run([](CKeyServerClient& client) {
            const StatusBlock block = client.ReceiveStatus();
            EXPECT_EQ(block, (StatusBlock{2, 4, 0, 0}));
            EXPECT_EQ(client.LastStatus(), block);
        });
        CheckReply(session, c, received);
    }
}

TEST(KeyServerClient, CheckStatusMapsCodesToErrors)
{
    const std::vector<std::pair<uint32_t, Outcome>> cases = {
        {0, Ok()}, {1, Unsupported()}, {2, SocketFailure("Request execution error!!")}, {3, Ok()}, {4, Auth()},
        {5, Ok()}, {0xFFFFFFFF, Ok()},
    };
    const CKeyServerClient client;
    for (const auto& c : cases) {
        const uint32_t status = c.first;
        EXPECT_EQ(CatchOutcome([&] { client.CheckStatus({status, 9, 0, 0}); }), c.second) << "status " << status;
    }
}

TEST(KeyServerClient, PasswordIsMaskedWithoutCycling)
{
    const CMaskBuffer mask("\x01\x02\xff", 3);
    const struct
    {
        std::string password;
        std::string masked;
    } cases[] = {
        {"ab", "bd"},
        {"abc", "bdb"},
        {"abcde", "bdbde"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CKeyServerClient::MaskPassword(c.password, mask).View(), c.masked) << c.password;
    }
    EXPECT_EQ(CKeyServerClient::MaskPassword("secret", CMaskBuffer()).View(), "secret");
}

// Fails the n-th write of the client with the given exception.
class CFailingWriteClient : public CKeyServerClient
{
public:
    CFailingWriteClient(int failingWrite, std::function<void()> fail)
        : m_failingWrite(failingWrite), m_fail(std::move(fail))
    {}
    int Write(const void* bytes, int length) override
    {
        if (++m_writes == m_failingWrite) {
            m_fail();
        }
        return CKeyServerClient::Write(bytes, length);
    }

private:
    int m_failingWrite;
    int m_writes = 0;
    std::function<void()> m_fail;
};

TEST(KeyServerClient, RequestWriteTimeOutIsAConnectError)
{
    CFailingWriteClient timesOut(1, [] { throw ZiRez::CSocketTimeOut("Socket TimeOut Error!", 3); });
    EXPECT_EQ(CatchOutcome([&] { timesOut.SendRequest(1); }),
              (Outcome{Outcome::ConnectError, "Send Request: timeout!!", 0}));
    // Other write failures pass unchanged.
    CFailingWriteClient fails(1, [] { throw ZiRez::CSocketError("CBaseSocket::Send: SendData Error!", 2); });
    EXPECT_EQ(CatchOutcome([&] { fails.SendRequest(1); }), SocketFailure("CBaseSocket::Send: SendData Error!", 2));
}

TEST(KeyServerClient, FailedConnectionIsAConnectError)
{
    uint16_t port;
    {
        CPeerListener closed;
        port = closed.Port();
    }
    CKeyServerClient client;
    EXPECT_EQ(CatchOutcome([&] { client.Open("127.0.0.1", port); }), (Outcome{Outcome::ConnectError, "Open fail", 0}));
}

} // namespace
