// Two real key services on loopback, each with its own store, paired as peers.
#include "Harness.h"
#include "RawSocket.h"
#include "Wire.h"
#include "keys/CKeyRecord.h"
#include "protocol/CKeyServerClient.h"
#include "protocol/Packet.h"
#include "sync/CSyncChannel.h"
#include "sync/SyncSession.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::string kSecret = "7f3c9a1e5b2d4f60718293a4b5c6d7e8f90a1b2c3d4e5f60718293a4b5c6d7e8";

std::string KeyHex(int n)
{
    std::string hex;
    for (int i = 0; i < 32; ++i) {
        const int byte = (n * 37 + i * 11) & 0xFF;
        const char digits[] = "0123456789abcdef";
        hex += digits[byte >> 4];
        hex += digits[byte & 0xF];
    }
    return hex;
}

std::string Unhex(const std::string& hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

class PeerSyncTest : public ::testing::Test
{
protected:
    struct SServer
    {
        Harness::CTempDir dir;
        uint16_t port = 0;
        std::unique_ptr<Harness::CTernwickProcess> service;
    };

    void SetUp() override
    {
        for (SServer& server : m_servers) {
            ASSERT_EQ(Harness::StoreTool(server.dir.Path(), {"layout"}), 0);
            do {
                server.port = Harness::FreePort();
            } while (server.port == m_servers[0].port && &server != &m_servers[0]);
            ASSERT_EQ(Harness::StoreTool(server.dir.Path(), {"port", std::to_string(server.port)}), 0);
        }
        Pair(0, m_servers[1].port);
        Pair(1, m_servers[0].port);
    }

    void TearDown() override
    {
        for (SServer& server : m_servers) {
            if (server.service) {
                EXPECT_EQ(server.service->Log().find("Sanitizer"), std::string::npos) << server.service->Log();
            }
        }
    }

    // The side's peer is the other side, at port.
    void Pair(int side, uint16_t port)
    {
        const std::string name = side == 0 ? "b" : "a";
        Harness::StoreTool(m_servers[side].dir.Path(), {"unpeer", name});
        ASSERT_EQ(
            Harness::StoreTool(m_servers[side].dir.Path(), {"peer", name, "127.0.0.1", std::to_string(port), kSecret}),
            0);
    }

    // On another port when another program took the side's: the other side follows.
    void Start(int side)
    {
        SServer& server = m_servers[side];
        const uint16_t port = server.port;
        ASSERT_TRUE(Harness::StartServing(server.dir.Path(), server.service, server.port));
        if (server.port != port) {
            Pair(1 - side, server.port);
        }
    }

    int Store(int side, const std::vector<std::string>& arguments, std::string* out = nullptr)
    {
        return Harness::StoreTool(m_servers[side].dir.Path(), arguments, out);
    }

    // The key the side's service hands a unit for id in hex; "" when it has none.
    std::string Served(int side, const std::string& id)
    {
        try {
            CKeyServerClient client;
            client.SetTimeOut(2000);
            client.Open("127.0.0.1", m_servers[side].port);
            CMaskBuffer mask;
            mask.Assign("0123456789abcdef0123456789abcdef", 32);
            CKeyRecord record = client.GetKey(id, mask);
            record.SetId(id);
            record.SetTransferMask("0123456789abcdef0123456789abcdef");
            record.OpenFromTransfer();
            return Wire::Hex(std::string(reinterpret_cast<const char*>(record.GetKey().Data()), 32));
        } catch (const std::exception&) {
            return "";
        }
    }

    // Polls until the side serves expected (hex, or "" for no key) for id.
    bool WaitServed(int side, const std::string& id, const std::string& expected, int timeOutMs)
    {
        return WaitUntil([&] { return Served(side, id) == expected; }, timeOutMs);
    }

    std::string Output(int side, const std::vector<std::string>& arguments)
    {
        std::string out;
        Store(side, arguments, &out);
        return out;
    }

    bool WaitOutput(int side, const std::vector<std::string>& arguments, const std::string& expected, int timeOutMs)
    {
        return WaitUntil([&] { return Output(side, arguments) == expected; }, timeOutMs);
    }

    static bool WaitUntil(const std::function<bool()>& done, int timeOutMs)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeOutMs);
        while (!done()) {
            if (Clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    SServer m_servers[2];
};

TEST_F(PeerSyncTest, ChangesOnEitherSideAreServedByTheOtherWithinTwoSeconds)
{
    Start(0);
    Start(1);
    struct SChange
    {
        int side;
        std::vector<std::string> command;
        std::string id;
        std::string served; // by the other side afterwards
    };
    const SChange changes[] = {
        {0, {"key", "0000AA000001", KeyHex(1)}, "0000AA000001", KeyHex(1)},
        {1, {"key", "0000AA000001", KeyHex(2)}, "0000AA000001", KeyHex(2)},
        {0, {"delete", "0000AA000001"}, "0000AA000001", ""},
        {1, {"key", "0000AA000002", KeyHex(3)}, "0000AA000002", KeyHex(3)},
        {0, {"key", "0000AA000002", KeyHex(4)}, "0000AA000002", KeyHex(4)},
        {1, {"delete", "0000AA000002"}, "0000AA000002", ""},
    };
    for (const SChange& change : changes) {
        ASSERT_EQ(Store(change.side, change.command), 0) << change.command[0];
        EXPECT_TRUE(WaitServed(1 - change.side, change.id, change.served, 2000))
            << change.command[0] << " on side " << change.side << ": " << m_servers[1 - change.side].service->Log();
        EXPECT_EQ(Served(change.side, change.id), change.served);
    }
    EXPECT_EQ(Output(0, {"peerstate", "b"}), "in sync\n");
    EXPECT_EQ(Output(1, {"peerstate", "a"}), "in sync\n");
}

TEST_F(PeerSyncTest, AServerThatWasAwayCatchesUpByItselfAndAKillMidwayLeavesBothStoresWhole)
{
    ASSERT_EQ(Store(1, {"key", "0000BB000001", KeyHex(5)}), 0);
    Start(0);
    ASSERT_EQ(Store(0, {"keys", "0000CC", "3000", KeyHex(6)}), 0);
    // The first catch-up is cut short by kill -9 of the side taking the keys, which starts
    // syncing as soon as it listens; started again, both catch up: 3,000 keys one way, one
    // the other way.
    Start(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    m_servers[1].service->Signal(SIGKILL);
    m_servers[1].service->WaitExit(5000);
    m_servers[1].service.reset();
    EXPECT_EQ(Store(1, {"count"}), 0) << "the store must open after the kill";
    Start(1);
    EXPECT_TRUE(WaitOutput(1, {"count"}, "3001\n", 20000)) << m_servers[1].service->Log();
    EXPECT_TRUE(WaitOutput(0, {"count"}, "3001\n", 10000)) << m_servers[0].service->Log();
    EXPECT_EQ(Served(1, "0000CC002999"), Output(0, {"dump", "0000CC002999"}).substr(0, 64));
    EXPECT_EQ(Served(0, "0000BB000001"), KeyHex(5));
}

TEST_F(PeerSyncTest, AConflictIsShownOnBothSidesAndServedUnchangedUntilSettled)
{
    ASSERT_EQ(Store(0, {"key", "0000DD000001", KeyHex(7)}), 0);
    ASSERT_EQ(Store(1, {"key", "0000DD000001", KeyHex(8)}), 0);
    // The same key given on both sides is no conflict.
    ASSERT_EQ(Store(0, {"key", "0000DD000002", KeyHex(9)}), 0);
    ASSERT_EQ(Store(1, {"key", "0000DD000002", KeyHex(9)}), 0);
    Start(0);
    Start(1);
    EXPECT_TRUE(WaitOutput(0, {"conflicts"}, "0000DD000001 b\n", 10000)) << m_servers[0].service->Log();
    EXPECT_TRUE(WaitOutput(1, {"conflicts"}, "0000DD000001 a\n", 10000)) << m_servers[1].service->Log();
    EXPECT_EQ(Served(0, "0000DD000001"), KeyHex(7));
    EXPECT_EQ(Served(1, "0000DD000001"), KeyHex(8));
    for (SServer& server : m_servers) {
        // Once: the log is written a moment after the store.
        EXPECT_TRUE(server.service->WaitForLog("sync conflict with peer", 1, 5000)) << server.service->Log();
    }
    EXPECT_TRUE(WaitOutput(0, {"peerstate", "b"}, "in sync but for conflicts\n", 10000));
    for (SServer& server : m_servers) {
        EXPECT_EQ(server.service->CountLog("sync conflict with peer"), 1u) << server.service->Log();
    }
    // Monitoring sees it: the metrics written at once when their folder is set.
    Harness::CTempDir metrics;
    const std::string file = metrics.Path() + "/corvane_keyserver.prom";
    ASSERT_EQ(Store(0, {"metrics-dir", metrics.Path()}), 0);
    EXPECT_TRUE(WaitUntil([&file] { return std::ifstream(file).good(); }, 10000));
    std::ostringstream text;
    text << std::ifstream(file).rdbuf();
    for (const char* line :
         {"\ncorvane_sync_conflicts 1\n", "\ncorvane_peer_changes_waiting{peer=\"b\"} 0\n",
          "\ncorvane_peer_in_sync{peer=\"b\"} 1\n", "\ncorvane_peer_sync_age_seconds{peer=\"b\"} "}) {
        EXPECT_NE(text.str().find(line), std::string::npos) << line << " in:\n" << text.str();
    }
    std::string parsed;
    EXPECT_EQ(Harness::RunProgram({"/usr/bin/python3", METRICS_PARSER, file}, {}, &parsed), 0);

    ASSERT_EQ(Store(1, {"resolve", "0000DD000001", "peer"}), 0);
    EXPECT_TRUE(WaitServed(1, "0000DD000001", KeyHex(7), 3000)) << m_servers[1].service->Log();
    EXPECT_TRUE(WaitOutput(0, {"conflicts"}, "", 3000));
    EXPECT_TRUE(WaitOutput(1, {"conflicts"}, "", 3000));
    EXPECT_EQ(Served(0, "0000DD000001"), KeyHex(7));
    EXPECT_EQ(Served(0, "0000DD000002"), KeyHex(9));
}

// The link of a test that plays a peer, which can spoil what it sends.
class CSpoilingLink : public Sync::ISyncLink
{
public:
    using Spoil = std::function<bool(size_t index, std::string& bytes)>; // false: close instead

    CSpoilingLink(CKeyServerClient& client, Spoil spoil) : m_client(client), m_spoil(std::move(spoil)) {}
    void Send(std::string_view bytes) override
    {
        std::string sent(bytes);
        recorded.push_back(sent);
        if (!m_spoil(recorded.size() - 1, sent)) {
            throw std::runtime_error("closed by the test");
        }
        m_client.SendData(sent);
    }
    std::string Receive() override
    {
        std::string bytes;
        m_client.ReceiveData(bytes);
        return bytes;
    }
    std::vector<std::string> recorded;

private:
    CKeyServerClient& m_client;
    Spoil m_spoil;
};

TEST_F(PeerSyncTest, WhatAListenerRecordedOrAlteredIsRefusedAndChangesNothing)
{
    Start(0);
    // What the test's peer offers: one registration the service does not have.
    Sync::SSnapshot offer;
    offer.entries["0000EE000001"] =
        Sync::SEntry{"0000EE000001", {{std::string(16, 'T'), 1}}, false, 1800000000, Unhex(KeyHex(10))};
    offer.buckets = Sync::BucketDigests(offer.entries);
    offer.serverId = std::string(16, 'T');
    const auto run = [&](const std::string& secret, const CSpoilingLink::Spoil& spoil) {
        CKeyServerClient client;
        client.SetTimeOut(5000);
        client.Open("127.0.0.1", m_servers[0].port);
        client.SendRequest(REQ_PEER_SYNC);
        CSpoilingLink link(client, spoil);
        try {
            Sync::CSyncChannel channel = Sync::CSyncChannel::Initiate(link, Unhex(secret));
            Sync::RunInitiator(channel, offer, [](const auto&) { return CSyncLedger::SApplied(); });
        } catch (const std::exception&) {
        }
        return link.recorded;
    };
    // Sent in order: the hello, the proof, the summary, the entries, the wants.
    constexpr size_t kEntries = 3;
    constexpr size_t kWants = 4;
    const std::vector<std::string> cut = run(kSecret, [](size_t index, std::string&) { return index != kWants; });
    struct SAttack
    {
        const char* name;
        std::function<void()> attack;
    };
    const SAttack attacks[] = {
        {"a stream cut before its end", [] {}},
        {"a wrong secret", [&] { run(KeyHex(11), [](size_t, std::string&) { return true; }); }},
        {"one flipped byte",
         [&] {
             run(kSecret, [](size_t index, std::string& bytes) {
                 if (index == kEntries) {
                     bytes[bytes.size() / 2] ^= 0x01;
                 }
                 return true;
             });
         }},
        {"a replayed recording",
         [&] {
             CKeyServerClient client;
             client.SetTimeOut(5000);
             client.Open("127.0.0.1", m_servers[0].port);
             client.SendRequest(REQ_PEER_SYNC);
             try {
                 for (size_t i = 0; i < cut.size(); ++i) {
                     client.SendData(cut[i]);
                     if (i < 2) {
                         std::string answer;
                         client.ReceiveData(answer);
                     }
                 }
             } catch (const std::exception&) {
             }
         }},
    };
    for (const SAttack& attack : attacks) {
        attack.attack();
        EXPECT_EQ(Served(0, "0000EE000001"), "") << attack.name;
    }
    EXPECT_TRUE(m_servers[0].service->WaitForLog("could not prove the shared secret", 1, 2000))
        << m_servers[0].service->Log();
    EXPECT_TRUE(m_servers[0].service->WaitForLog("no peer of this server holds the secret", 1, 2000));
    EXPECT_TRUE(m_servers[0].service->WaitForLog("a sync message that does not open", 1, 2000));
    // The same exchange untouched is taken: what was refused was refused for its fault.
    run(kSecret, [](size_t, std::string&) { return true; });
    EXPECT_EQ(Served(0, "0000EE000001"), KeyHex(10));
}

TEST_F(PeerSyncTest, PeersThatCannotSyncAreNamedForWhatTheyAre)
{
    // A key server of another kind: it acknowledges a request it does not know and closes.
    RawSocket listener = RawSocket::Listen(AF_INET, "127.0.0.1", 0, 8);
    ASSERT_TRUE(listener.Valid());
    std::thread other([&listener] {
        RawSocket connection = listener.Accept();
        char request[8];
        connection.Receive(request, sizeof request);
        connection.SendAll(Wire::Ack());
    });
    ASSERT_EQ(Store(0, {"peer", "other", "127.0.0.1", std::to_string(listener.Port()), kSecret}), 0);
    // This server itself, under the address of its own port (as a floating address would lead back).
    ASSERT_EQ(Store(0, {"peer", "self", "127.0.0.1", std::to_string(m_servers[0].port), kSecret}), 0);
    Start(0);
    const std::pair<const char*, const char*> expected[] = {
        {"other", "does not sync: a key server without peer sync (fill it with 'corvane-admin copy')\n"},
        {"self", "refused: the peer is this key server itself\n"},
    };
    for (const auto& [name, state] : expected) {
        EXPECT_TRUE(WaitOutput(0, {"peerstate", name}, state, 10000)) << name << ": " << m_servers[0].service->Log();
    }
    other.join();
}

} // namespace
