#include "ClientPeer.h"
#include "Outcome.h"
#include "ScriptedPeer.h"
#include "ServerSlot.h"
#include "net/CStrmSrvSocket.h"
#include "net/SocketTypes.h"
#include "protocol/CKeyServerClient.h"
#include "protocol/CRequestConnection.h"

#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string kId1 = "0123456789AB";
const std::string kId2 = "00A0B0C0D0E0";

std::string Bytes(uint8_t first, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        out.push_back(static_cast<char>(first + i * 7));
    }
    return out;
}

const std::string kMaskBytes = Bytes(0xF0, 32);
const CMaskBuffer kMask(kMaskBytes.data(), kMaskBytes.size());
const std::string kKey1 = Bytes(1, 32);
const std::string kKey2 = Bytes(100, 32);

// The password as it must travel: each byte plus the mask byte at its position, the bytes
// beyond the mask's length unchanged.
std::string Masked(const std::string& password)
{
    std::string out = password;
    for (size_t i = 0; i < out.size() && i < kMaskBytes.size(); ++i) {
        out[i] = static_cast<char>(static_cast<uint8_t>(out[i]) + static_cast<uint8_t>(kMaskBytes[i]));
    }
    return out;
}

std::string KeyOf(const CKeyRecord& record)
{
    return std::string(record.GetKey().View());
}

TEST(RequestCatalogue, Check)
{
    CClientPeer session;
    auto checked = session.Run([](CKeyServerClient& c) { return c.Check(); });
    session.ExpectAndAck(Header(1, 1));
    session.SendAndExpectAck(StatusPacket(0, 0));
    EXPECT_EQ(checked.get(), (StatusBlock{0, 0, 0, 0}));
}

TEST(RequestCatalogue, GetKey)
{
    const struct
    {
        const char* name;
        std::vector<std::string> answer;
        Outcome outcome;
    } cases[] = {
        {"key served", {DataPacket(kKey1), StatusPacket(0, 0)}, Ok()},
        {"identifier not registered", {StatusPacket(2, 1)}, SocketFailure("Request execution error!!")},
        {"key of 31 bytes",
         {DataPacket(kKey1.substr(1)), StatusPacket(0, 0)},
         SocketFailure("Data Size Invalid Error!")},
        {"key of 33 bytes", {DataPacket(kKey1 + "x"), StatusPacket(0, 0)}, SocketFailure("Data Size Invalid Error!")},
        {"final status not 0", {DataPacket(kKey1), StatusPacket(3, 0)}, SocketFailure("Status Packet Receive Error!")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CClientPeer session;
        auto fetched = session.Run([](CKeyServerClient& client) { return client.GetKey(kId1, kMask); });
        session.ExpectAndAck(Header(1, 16));
        session.ExpectAndAck(DataPacket(kId1));
        session.ExpectAndAck(DataPacket(kMaskBytes));
        for (const std::string& packet : c.answer) {
            session.SendAndExpectAck(packet);
        }
        CKeyRecord record;
        EXPECT_EQ(CatchOutcome([&] { record = fetched.get(); }), c.outcome);
        EXPECT_EQ(KeyOf(record), c.outcome == Ok() ? kKey1 : "");
        EXPECT_EQ(record.GetId(), "");
    }
}

// The requester's part of a fetch, up to the answer.
void ExpectFetchRequest(CClientPeer& session, const std::string& password)
{
    session.ExpectAndAck(Header(1, 256));
    session.ExpectAndAck(DataPacket(Masked(password)));
    session.ExpectAndAck(IntPacket(2));
    session.ExpectAndAck(DataPacket(kId1));
    session.ExpectAndAck(DataPacket(kId2));
    session.ExpectAndAck(DataPacket(kMaskBytes));
}

TEST(RequestCatalogue, FetchKeys)
{
    // Longer than the mask: its last bytes travel unchanged.
    const std::string password = "a cooperation password of 40 bytes......";
    ASSERT_EQ(password.size(), 40u);
    const struct
    {
        const char* name;
        std::vector<std::string> answer;
        Outcome outcome;
    } cases[] = {
        {"both keys served", {IntPacket(2), DataPacket(kKey1), DataPacket(kKey2), StatusPacket(0, 0)}, Ok()},
        {"password refused", {StatusPacket(4, 2)}, Auth()},
        {"second identifier not registered",
         {IntPacket(2), DataPacket(kKey1), StatusPacket(2, 1)},
         SocketFailure("Request execution error!!")},
        {"more keys than a request may ask for",
         {IntPacket(kMaxItemCount + 1)},
         SocketFailure("Data Size Invalid Error!")},
        {"key of the wrong size", {IntPacket(1), DataPacket("short")}, SocketFailure("Data Size Invalid Error!")},
        {"final status not 0", {IntPacket(0), StatusPacket(2, 4)}, SocketFailure("Status Packet Receive Error!")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CClientPeer session;
        auto fetched = session.Run([&](CKeyServerClient& client) {
            return client.FetchKeys(password, {kId1, kId2}, kMask);
        });
        ExpectFetchRequest(session, password);
        for (const std::string& packet : c.answer) {
            session.SendAndExpectAck(packet);
        }
        std::vector<CKeyRecord> keys;
        EXPECT_EQ(CatchOutcome([&] { keys = fetched.get(); }), c.outcome);
        if (c.outcome == Ok()) {
            ASSERT_EQ(keys.size(), 2u);
            EXPECT_EQ(KeyOf(keys[0]), kKey1);
            EXPECT_EQ(KeyOf(keys[1]), kKey2);
            EXPECT_EQ(keys[0].GetId(), "");
        }
    }
}

TEST(RequestCatalogue, FetchKeysWithCountZero)
{
    CClientPeer session;
    auto fetched = session.Run([](CKeyServerClient& c) { return c.FetchKeys("pw", {}, kMask); });
    session.ExpectAndAck(Header(1, 256));
    session.ExpectAndAck(DataPacket(Masked("pw")));
    session.ExpectAndAck(IntPacket(0));
    session.ExpectAndAck(DataPacket(kMaskBytes));
    session.SendAndExpectAck(IntPacket(0));
    session.SendAndExpectAck(StatusPacket(0, 0));
    EXPECT_TRUE(fetched.get().empty());
}

// A server that does not know the request fails its first item; whatever the failure, the
// requester reports the request as not supported.
TEST(RequestCatalogue, FetchKeysPasswordStepFailureMeansUnsupported)
{
    const struct
    {
        const char* name;
        std::string reply;
        bool close;
    } cases[] = {
        {"status 4", StatusPacket(4, 2), false},
        {"status 0", StatusPacket(0, 0), false},
        {"no ack", Header(2, 4), false},
        {"peer closes", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CClientPeer session;
        auto fetched = session.Run([](CKeyServerClient& client) { return client.FetchKeys("pw", {kId1}, kMask); });
        session.ExpectAndAck(Header(1, 256));
        EXPECT_EQ(Hex(session.Peer().Read(10)), Hex(DataPacket(Masked("pw"))));
        session.Peer().Send(c.reply);
        if (c.close) {
            session.Peer().ShutdownWrite();
        }
        EXPECT_EQ(Finish(fetched), Unsupported());
    }
}

std::vector<CKeyRecord> TwoRecords()
{
    std::vector<CKeyRecord> records(2);
    records[0].SetId("0123456789ab");
    records[0].SetKey(kKey1.data());
    records[1].SetId(kId2);
    records[1].SetKey(kKey2.data());
    return records;
}

void ExpectStoreRequest(CClientPeer& session, const std::string& password)
{
    session.ExpectAndAck(Header(1, 512));
    session.ExpectAndAck(DataPacket(Masked(password)));
    session.ExpectAndAck(IntPacket(2));
    session.ExpectAndAck(DataPacket(kId1));
    session.ExpectAndAck(DataPacket(kKey1));
    session.ExpectAndAck(DataPacket(kId2));
    session.ExpectAndAck(DataPacket(kKey2));
    session.ExpectAndAck(DataPacket(kMaskBytes));
}

TEST(RequestCatalogue, StoreKeys)
{
    const struct
    {
        const char* name;
        std::string status;
        Outcome outcome;
    } cases[] = {
        {"stored", StatusPacket(0, 0), Ok()},
        {"password refused", StatusPacket(4, 2), Auth()},
        // Only the first status is read: one pair that could not be stored fails the request.
        {"a pair not stored", StatusPacket(2, 4), SocketFailure("Status Packet Receive Error!")},
        {"not supported in the final read", StatusPacket(1, 0), SocketFailure("Status Packet Receive Error!")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CClientPeer session;
        auto stored = session.Run([](CKeyServerClient& client) { client.StoreKeys("pw", TwoRecords(), kMask); });
        ExpectStoreRequest(session, "pw");
        session.SendAndExpectAck(c.status);
        EXPECT_EQ(Finish(stored), c.outcome);
    }
}

// Both ends for real: the client against the service's connection object.
class CBothEnds
{
public:
    CBothEnds()
        : m_server(std::make_shared<ZiRez::CStrmSrvSocket>(ZiRez::FAMILY_INET, ZiRez::SOCKET_STREAM, true, false, 0,
                                                           nullptr, CServerSlot::kReadTimeOut))
    {
        m_server->Open(0);
        client.Open("127.0.0.1", m_server->BaseSocket().BoundPort(ZiRez::FAMILY_INET));
        m_index = m_server->Accept();
    }

    template <typename Operation> auto Serve(Operation operation)
    {
        return std::async(std::launch::async, [server = m_server, index = m_index, operation] {
            CRequestConnection connection(server, index);
            return operation(connection);
        });
    }

    CKeyServerClient client;

private:
    std::shared_ptr<ZiRez::CStrmSrvSocket> m_server;
    int m_index = -1;
};

TEST(RequestCatalogue, BothEndsGetKey)
{
    CBothEnds ends;
    auto served = ends.Serve([](CRequestConnection& c) {
        EXPECT_EQ(c.ReceiveRequest(), static_cast<int>(REQ_GET_KEY));
        std::string id;
        std::string mask;
        c.ReceiveData(id);
        c.ReceiveData(mask);
        c.SendData(kKey2.data(), kKey2.size());
        c.SendStatus(ST_OK, 0);
        return id + mask;
    });
    EXPECT_EQ(KeyOf(ends.client.GetKey(kId1, kMask)), kKey2);
    EXPECT_EQ(served.get(), kId1 + kMaskBytes);
}

// An empty item never reaches the service's handlers: it ends the connection.
TEST(RequestCatalogue, BothEndsEmptyPasswordEndsTheConnection)
{
    CBothEnds ends;
    auto served = ends.Serve([](CRequestConnection& c) {
        c.ReceiveRequest();
        std::string password;
        c.ReceiveData(password);
    });
    EXPECT_EQ(CatchOutcome([&] { ends.client.StoreKeys("", TwoRecords(), kMask); }),
              SocketFailure("Send data receiving ACK Error!"));
    EXPECT_EQ(Finish(served), SocketFailure("No Data Error!"));
}

// The service reports each pair it could not store, then (0, 0); the requester stops at the
// first of them, so the service's next status finds no one acknowledging.
TEST(RequestCatalogue, BothEndsStoreFailureIsReportedByTheFirstStatus)
{
    CBothEnds ends;
    auto served = ends.Serve([](CRequestConnection& c) {
        c.ReceiveRequest();
        std::string item;
        c.ReceiveData(item);
        const int32_t count = c.ReceiveInt();
        for (int32_t i = 0; i < 2 * count + 1; ++i) {
            c.ReceiveData(item);
        }
        c.SendStatus(ST_EXEC_ERROR, DT_STORE_FAILED);
        c.SendStatus(ST_OK, 0);
    });
    EXPECT_EQ(CatchOutcome([&] { ends.client.StoreKeys("pw", TwoRecords(), kMask); }),
              SocketFailure("Status Packet Receive Error!"));
    ends.client.BaseSocket().Close();
    EXPECT_EQ(Finish(served).kind, Outcome::SocketError);
}

} // namespace
