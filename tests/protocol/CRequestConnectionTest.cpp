#include "Outcome.h"
#include "ScriptedPeer.h"
#include "ServerSlot.h"
#include "net/CSocketError.h"
#include "protocol/Packet.h"

#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace {

// " 00" per byte: the zero tail of a status block.
std::string ZeroHex(int count)
{
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += " 00";
    }
    return out;
}

TEST(RequestConnection, RequestPacketIsAcknowledged)
{
    CServerSlot slot;
    auto request = slot.Serve([](CRequestConnection& c) { return c.ReceiveRequest(); });
    // A header split over two segments is still one header.
    slot.Peer().SendSplit(Header(1, 16), {3});
    EXPECT_EQ(Hex(slot.Peer().Read(8)), "00 00 00 03 00 00 00 00");
    EXPECT_EQ(request.get(), 16);
    EXPECT_TRUE(slot.Peer().SeesClose());
}

TEST(RequestConnection, InvalidFirstPackets)
{
    struct Case
    {
        const char* name;
        std::string first;
        bool closeAfterwards;
        std::string ackReply;
        Outcome outcome;
    };
    const std::vector<Case> cases = {
        {"data as first packet", Header(2, 4), false, Ack(), SocketFailure("Invalid Packet Receive Error!")},
        {"ack as first packet", Ack(), false, Ack(), SocketFailure("Invalid Packet Receive Error!")},
        {"status header as first packet", Header(5, 24), false, Ack(), SocketFailure("Invalid Packet Receive Error!")},
        {"reply to the status is not an ACK", Header(7, 0), false, Header(1, 1), SocketFailure("ACK Receive Error!")},
        // A peer that closes reads as the header (0, 0): rejected, then no ACK comes.
        {"peer closes before a header", "", true, "", SocketFailure("ACK Receive Error!")},
        {"peer closes inside a header", Header(1, 16).substr(0, 5), true, "", SocketFailure("ACK Receive Error!")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CServerSlot slot;
        auto request = slot.Serve([](CRequestConnection& connection) { return connection.ReceiveRequest(); });
        slot.Peer().Send(c.first);
        if (c.closeAfterwards) {
            slot.Peer().ShutdownWrite();
        }
        // Rejected with status 1.
        EXPECT_EQ(Hex(slot.Peer().Read(40)), "00 00 00 04 00 00 00 00 "
                                             "00 00 00 05 00 00 00 18 "
                                             "00 00 00 01 00 00 00 00" +
                                                 ZeroHex(16));
        try {
            slot.Peer().Send(c.ackReply);
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        EXPECT_EQ(Finish(request), c.outcome);
        EXPECT_TRUE(slot.Peer().SeesClose());
    }
}

TEST(RequestConnection, SendsAreByteExactAndWaitForTheAck)
{
    struct Case
    {
        const char* name;
        std::function<void(CRequestConnection&)> send;
        std::string wire;
    };
    const std::vector<Case> cases = {
        {"int 2", [](CRequestConnection& c) { c.SendInt(2); }, "00 00 00 02 00 00 00 04 00 00 00 02"},
        {"int -2", [](CRequestConnection& c) { c.SendInt(-2); }, "00 00 00 02 00 00 00 04 ff ff ff fe"},
        {"data", [](CRequestConnection& c) { c.SendData("AB\0", 3); }, "00 00 00 02 00 00 00 03 41 42 00"},
        {"status (2, 4)", [](CRequestConnection& c) { c.SendStatus(2, 4); },
         "00 00 00 05 00 00 00 18 00 00 00 02 00 00 00 04" + ZeroHex(16)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string& expected = c.wire;
        for (const std::string& reply : {Ack(), Header(2, 0), Header(4, 0), std::string()}) {
            SCOPED_TRACE("reply " + Hex(reply));
            CServerSlot slot;
            auto sent = slot.Serve([&c](CRequestConnection& connection) { c.send(connection); });
            EXPECT_EQ(Hex(slot.Peer().Read((expected.size() + 1) / 3)), expected);
            if (reply.empty()) {
                slot.Peer().ShutdownWrite();
            } else {
                slot.Peer().SendSplit(reply, {2});
            }
            EXPECT_EQ(Finish(sent), reply == Ack() ? Ok() : SocketFailure("ACK Receive Error!"));
            EXPECT_TRUE(slot.Peer().SeesClose());
        }
    }
}

struct ReceiveCase
{
    const char* name;
    std::string bytes;
    std::vector<size_t> pieces;
    bool closeAfterwards;
    Outcome outcome;
};

// Sends the case's bytes to the service's end and checks how the receive ended: an ACK on
// success, the connection's close without an ACK on failure.
template <typename Value, typename Receive> Value RunReceive(const ReceiveCase& c, Receive receive)
{
    CServerSlot slot;
    auto received = slot.Serve(receive);
    slot.Peer().SendSplit(c.bytes, c.pieces);
    if (c.closeAfterwards) {
        slot.Peer().ShutdownWrite();
    }
    Value value{};
    EXPECT_EQ(CatchOutcome([&] { value = received.get(); }), c.outcome);
    if (c.outcome == Ok()) {
        EXPECT_EQ(Hex(slot.Peer().Read(8)), Hex(Ack()));
    }
    EXPECT_TRUE(slot.Peer().SeesClose());
    return value;
}

TEST(RequestConnection, ReceiveInt)
{
    struct IntCase
    {
        ReceiveCase c;
        int32_t value;
    };
    const std::vector<IntCase> cases = {
        {{"int 2", IntPacket(2), {}, false, Ok()}, 2},
        {{"negative, split in header and payload", IntPacket(-7), {5, 5}, false, Ok()}, -7},
        {{"length 8: payload stays unread",
          Header(2, 8) + std::string(8, '\1'),
          {},
          false,
          SocketFailure("Int Size Invalid Error!")},
         0},
        {{"length 0", Header(2, 0), {}, false, SocketFailure("No Data Error!")}, 0},
        {{"length 0 of another type", Header(3, 0), {}, false, SocketFailure("No Data Error!")}, 0},
        {{"not a data packet",
          Header(5, 4) + std::string(4, '\0'),
          {},
          false,
          SocketFailure("Data packet Receive Error!")},
         0},
        {{"peer closes before the header", "", {}, true, SocketFailure("No Data Error!")}, 0},
        {{"peer closes inside the header", Header(2, 4).substr(0, 6), {}, true, SocketFailure("No Data Error!")}, 0},
        {{"peer closes inside the payload",
          IntPacket(2).substr(0, 10),
          {},
          true,
          SocketFailure("Socket Read Error!", 3)},
         0},
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(c.c.name);
        const int32_t value = RunReceive<int32_t>(c.c, [](CRequestConnection& conn) { return conn.ReceiveInt(); });
        EXPECT_EQ(value, c.value);
    }
}

TEST(RequestConnection, ReceiveData)
{
    const std::string largest(kMaxDataLength, 'k');
    struct DataCase
    {
        ReceiveCase c;
        std::string value;
    };
    const std::vector<DataCase> cases = {
        {{"identifier", DataPacket("0123456789AB"), {}, false, Ok()}, "0123456789AB"},
        {{"split in many segments", DataPacket("0123456789AB"), {2, 7, 4}, false, Ok()}, "0123456789AB"},
        {{"largest item", DataPacket(largest), {}, false, Ok()}, largest},
        {{"one byte too long", Header(2, kMaxDataLength + 1), {}, false, SocketFailure("Data Size Invalid Error!")},
         ""},
        // Refused before anything is allocated for it.
        {{"4 GiB announced", Header(2, 0xFFFFFFFF), {}, false, SocketFailure("Data Size Invalid Error!")}, ""},
        {{"empty item", Header(2, 0), {}, false, SocketFailure("No Data Error!")}, ""},
        {{"not a data packet", Header(1, 16), {}, false, SocketFailure("Data packet Receive Error!")}, ""},
        {{"peer closes before the header", "", {}, true, SocketFailure("No Data Error!")}, ""},
        {{"peer closes inside the payload",
          DataPacket("0123456789AB").substr(0, 14),
          {},
          true,
          SocketFailure("Socket Read Error!", 3)},
         ""},
    };
    for (const DataCase& c : cases) {
        SCOPED_TRACE(c.c.name);
        const std::string value = RunReceive<std::string>(c.c, [](CRequestConnection& conn) {
            std::string out;
            conn.ReceiveData(out);
            return out;
        });
        EXPECT_EQ(value, c.value);
    }
}

// A peer that does not wait for each ACK: what one receive took of the packets that follow
// is handed out in turn, a large payload begun in it is completed, and each item still gets
// its own ACK.
TEST(RequestConnection, ItemsSentAheadAreReadInTurnAndEachAcknowledged)
{
    const std::vector<std::string> items = {"0123456789AB", "x", std::string(3000, 'k'), "y", std::string(300, 'm')};
    for (const std::vector<size_t>& split : std::vector<std::vector<size_t>>{{}, {5}, {30, 1}}) {
        SCOPED_TRACE(split.size());
        CServerSlot slot;
        auto received = slot.Serve([count = items.size()](CRequestConnection& c) {
            std::vector<std::string> out(count);
            for (std::string& item : out) {
                c.ReceiveData(item);
            }
            return out;
        });
        std::string all;
        for (const std::string& item : items) {
            all += DataPacket(item);
        }
        slot.Peer().SendSplit(all, split);
        EXPECT_EQ(received.get(), items);
        std::string acks;
        for (size_t i = 0; i < items.size(); ++i) {
            acks += Ack();
        }
        EXPECT_EQ(Hex(slot.Peer().Read(acks.size())), Hex(acks));
    }
}

TEST(RequestConnection, ItemsOfOneConnectionAreLimitedInAll)
{
    CServerSlot slot;
    // Each item counts its payload and a fixed overhead: the item past the bound is refused.
    constexpr size_t kItems = kMaxRequestItems / (kMaxDataLength + kItemOverhead);
    auto received = slot.Serve([](CRequestConnection& c) {
        std::string item;
        for (size_t i = 0; i <= kItems; ++i) {
            c.ReceiveData(item);
        }
    });
    const std::string item = DataPacket(std::string(kMaxDataLength, 'x'));
    for (size_t i = 0; i < kItems; ++i) {
        slot.Peer().Send(item);
        ASSERT_EQ(Hex(slot.Peer().Read(8)), Hex(Ack()));
    }
    slot.Peer().Send(item);
    EXPECT_EQ(Finish(received), SocketFailure("Data Size Invalid Error!"));
    EXPECT_TRUE(slot.Peer().SeesClose());
}

// The statuses of a store request in which two pairs fail: a peer that acknowledges every
// status sees each of them, in order.
TEST(RequestConnection, StatusesAreSentOneAfterAnother)
{
    CServerSlot slot;
    auto sent = slot.Serve([](CRequestConnection& c) {
        c.SendStatus(ST_EXEC_ERROR, DT_STORE_FAILED);
        c.SendStatus(ST_EXEC_ERROR, DT_STORE_FAILED);
        c.SendStatus(ST_OK, 0);
    });
    for (const std::string& status : {StatusPacket(2, 4), StatusPacket(2, 4), StatusPacket(0, 0)}) {
        EXPECT_EQ(Hex(slot.Peer().Read(32)), Hex(status));
        slot.Peer().Send(Ack());
    }
    EXPECT_EQ(Finish(sent), Ok());
    EXPECT_TRUE(slot.Peer().SeesClose());
}

// Forwards to a real server socket and counts the closes of each slot.
class CCountingServer : public ZiRez::CServerSocket
{
public:
    explicit CCountingServer(std::shared_ptr<ZiRez::CServerSocket> inner)
        : ZiRez::CServerSocket(ZiRez::FAMILY_INET, ZiRez::SOCKET_STREAM, true, false, 0, nullptr, -1),
          m_inner(std::move(inner))
    {}
    void Open(uint16_t port) override { m_inner->Open(port); }
    int Accept() override { return m_inner->Accept(); }
    int Write(int index, const void* bytes, int length) override { return m_inner->Write(index, bytes, length); }
    int Read(int index, void* buffer, int length) override { return m_inner->Read(index, buffer, length); }
    void Close() override { m_inner->Close(); }
    void CloseConnection(int index) override
    {
        ++closes[index];
        m_inner->CloseConnection(index);
    }

    std::map<int, int> closes;

private:
    std::shared_ptr<ZiRez::CServerSocket> m_inner;
};

TEST(RequestConnection, EveryWayOutClosesTheConnectionOnce)
{
    for (bool fails : {false, true}) {
        SCOPED_TRACE(fails ? "request fails" : "request handled");
        CServerSlot slot;
        auto counting = std::make_shared<CCountingServer>(slot.Server());
        auto served = std::async(std::launch::async, [counting, index = slot.Index()] {
            CRequestConnection connection(counting, index);
            connection.ReceiveRequest();
        });
        slot.Peer().Send(fails ? Header(0, 0) : Header(1, 1));
        if (fails) {
            slot.Peer().Read(40);
            slot.Peer().Send(Ack());
        } else {
            slot.Peer().Read(8);
        }
        EXPECT_EQ(Finish(served).kind, fails ? Outcome::SocketError : Outcome::Done);
        EXPECT_TRUE(slot.Peer().SeesClose());
        EXPECT_EQ(counting->closes, (std::map<int, int>{{slot.Index(), 1}}));
    }
}

} // namespace
