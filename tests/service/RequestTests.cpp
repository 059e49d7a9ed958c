// Every request against the real service, byte for byte, with each of its statuses.
#include "Fixture.h"

#include <functional>
#include <vector>

using namespace Wire;

namespace {

const std::string kId1 = "00A0B0C0D0E0";
const std::string kId2 = "00A0B0C0D0E1";
const std::string kMask = "transfer-mask-0123456789abcdefghijkl";
const std::string kPassword = "Coop-Pass-7";

std::string Acks(int count)
{
    std::string bytes;
    for (int i = 0; i < count; ++i) {
        bytes += Ack();
    }
    return bytes;
}

} // namespace

TEST_F(TernwickTest, CheckAndFramingAnswersAreExact)
{
    Start();
    struct Case
    {
        const char* name;
        std::string client;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"check", Request(1) + Ack(), Ack() + Status(0, 0)},
        {"first packet not a request", Header(2, 4) + Ack(), Reject() + Status(1, 0)},
        {"unknown request code 3", Request(3), Ack()},
        {"unknown request code 2", Request(2), Ack()},
        {"empty identifier", Request(16) + Header(2, 0), Ack()},
        {"identifier sent as a status", Request(16) + Status(0, 0), Ack()},
        {"peer closes after the request", Request(16), Ack()},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(Hex(Converse(test.client)), Hex(test.expected)) << test.name;
    }
    EXPECT_FALSE(m_service->WaitExit(0)) << "the service must survive every framing error";
}

TEST_F(TernwickTest, GetKeyAnswersRegisteredIdentifiersOnlyByExactMatch)
{
    const std::string key = Key(1);
    Register(kId1, key);
    Start();
    EXPECT_EQ(Hex(GetKey(kId1, kMask)), Hex(GetKeyReply(key, kId1, kMask)));
    EXPECT_EQ(Hex(GetKey(kId1, "m")), Hex(GetKeyReply(key, kId1, "m")));
    EXPECT_EQ(Hex(GetKey("00a0b0c0d0e0", kMask)), Hex(NotFoundReply())) << "the lookup is case-sensitive";
    EXPECT_EQ(Hex(GetKey("00A0B0C0D0E", kMask)), Hex(NotFoundReply()));
    EXPECT_EQ(Hex(GetKey(kId1 + " ", kMask)), Hex(NotFoundReply()));
}

TEST_F(TernwickTest, FetchKeysFollowsThePasswordAndTheList)
{
    const std::string key1 = Key(1);
    const std::string key2 = Key(2);
    Register(kId1, key1);
    Register(kId2, key2);
    SetPassword(kPassword);
    Start();

    const auto request = [](const std::string& password, const std::string& mask, int32_t count,
                            const std::vector<std::string>& ids) {
        std::string bytes = Request(256) + Data(Password(password, mask)) + Int(count);
        for (const auto& id : ids) {
            bytes += Data(id);
        }
        return bytes + Data(mask);
    };
    // Client packets are acknowledged one by one; the service's count, keys and status
    // are acknowledged by the client.
    const int requestAcks = 4;
    struct Case
    {
        const char* name;
        std::string client;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"count 0", request(kPassword, kMask, 0, {}) + Acks(2), Acks(requestAcks) + Int(0) + Status(0, 0)},
        {"two keys", request(kPassword, kMask, 2, {kId2, kId1}) + Acks(4),
         Acks(requestAcks + 2) + Int(2) + Data(Seal(key2, kId2, kMask)) + Data(Seal(key1, kId1, kMask)) + Status(0, 0)},
        {"second unknown", request(kPassword, kMask, 2, {kId1, "FFFFFFFFFFFF"}) + Acks(3),
         Acks(requestAcks + 2) + Int(2) + Data(Seal(key1, kId1, kMask)) + Status(2, 1)},
        {"mask shorter than the password", request(kPassword, "xy", 1, {kId1}) + Acks(3),
         Acks(requestAcks + 1) + Int(1) + Data(Seal(key1, kId1, "xy")) + Status(0, 0)},
        {"wrong password", request("Coop-Pass-8", kMask, 1, {kId1}) + Acks(1), Acks(requestAcks + 1) + Status(4, 2)},
        {"password prefix", request("Coop-Pass", kMask, 1, {kId1}) + Acks(1), Acks(requestAcks + 1) + Status(4, 2)},
        {"password in other case", request("coop-pass-7", kMask, 0, {}) + Acks(1), Acks(requestAcks) + Status(4, 2)},
        {"negative count", Request(256) + Data(Password(kPassword, kMask)) + Int(-1), Acks(3)},
        {"count above 65536", Request(256) + Data(Password(kPassword, kMask)) + Int(65537), Acks(3)},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(Hex(Converse(test.client)), Hex(test.expected)) << test.name;
    }
}

TEST_F(TernwickTest, CooperationWithoutStoredPasswordIsRefused)
{
    Register(kId1, Key(1));
    Start();
    const std::string fetch = Request(256) + Data(Password("anything", kMask)) + Int(1) + Data(kId1) + Data(kMask);
    EXPECT_EQ(Hex(Converse(fetch + Ack())), Hex(Acks(5) + Status(4, 2)));
    const std::string store = Request(512) + Data(Password("anything", kMask)) + Int(1) + Data(kId2) +
                              Data(Seal(Key(9), kId2, kMask)) + Data(kMask);
    EXPECT_EQ(Hex(Converse(store + Ack())), Hex(Acks(6) + Status(4, 2)));
    EXPECT_EQ(StoredKey(kId2), "");
}

TEST_F(TernwickTest, StoreKeysStoresEachPairOrRefusesIt)
{
    SetPassword(kPassword);
    // Pushes may bring the store to 6 registrations.
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"guard", "10", "50", "0", "", "6"}), 0);
    Start();
    const auto request = [](const std::string& password,
                            const std::vector<std::pair<std::string, std::string>>& pairs) {
        std::string bytes = Request(512) + Data(Password(password, kMask)) + Int(static_cast<int32_t>(pairs.size()));
        for (const auto& [id, key] : pairs) {
            bytes += Data(id) + Data(key);
        }
        return bytes + Data(kMask);
    };
    const auto acks = [](size_t pairs) { return Acks(static_cast<int>(4 + 2 * pairs)); };
    const std::string key1 = Key(11);
    const std::string key2 = Key(12);
    const std::string longId(600, 'A');
    const std::string nulId = std::string("00A0") + '\0' + "B0C0D0E0";

    struct Case
    {
        const char* name;
        std::string client;
        std::string expected;
        std::vector<std::pair<std::string, std::string>> storedAfter; // id, key ("" = absent)
    };
    const std::vector<Case> cases = {
        {"lower-case id is stored upper-case and opened with it",
         request(kPassword, {{"0a1b2c3d4e5f", Seal(key1, "0A1B2C3D4E5F", kMask)}}) + Acks(1),
         acks(1) + Status(0, 0),
         {{"0A1B2C3D4E5F", key1}}},
        {"short key item refused, next pair stored",
         request(kPassword, {{kId1, std::string(31, 'k')}, {kId2, Seal(key2, kId2, kMask)}}) + Acks(2),
         acks(2) + Status(2, 4) + Status(0, 0),
         {{kId1, ""}, {kId2, key2}}},
        {"longer key item gives its first 32 bytes",
         request(kPassword, {{"AABBCCDDEEFF", Seal(key1, "AABBCCDDEEFF", kMask) + "tail"}}) + Acks(1),
         acks(1) + Status(0, 0),
         {{"AABBCCDDEEFF", key1}}},
        {"ids the store cannot hold are refused",
         request(kPassword, {{longId, Seal(key1, longId, kMask)},
                             {nulId, Seal(key1, nulId, kMask)},
                             {"112233445566", Seal(key2, "112233445566", kMask)}}) +
             Acks(3),
         acks(3) + Status(2, 4) + Status(2, 4) + Status(0, 0),
         {{"112233445566", key2}}},
        {"past the push limit a new ID is refused, a registered one replaced",
         request(kPassword, {{"C00000000001", Seal(key1, "C00000000001", kMask)},
                             {"C00000000002", Seal(key1, "C00000000002", kMask)},
                             {"C00000000003", Seal(key1, "C00000000003", kMask)},
                             {"AABBCCDDEEFF", Seal(key2, "AABBCCDDEEFF", kMask)}}) +
             Acks(4),
         acks(4) + Status(2, 4) + Status(0, 0),
         {{"C00000000002", key1}, {"C00000000003", ""}, {"AABBCCDDEEFF", key2}}},
        {"wrong password stores nothing",
         request("Coop-Pass-x", {{"665544332211", key1}}) + Acks(1),
         acks(1) + Status(4, 2),
         {{"665544332211", ""}}},
        {"negative count", Request(512) + Data(Password(kPassword, kMask)) + Int(-5), Acks(3), {}},
        {"count above 65536", Request(512) + Data(Password(kPassword, kMask)) + Int(70000), Acks(3), {}},
        {"pair cut short stores nothing",
         Request(512) + Data(Password(kPassword, kMask)) + Int(2) + Data("778899AABBCC") +
             Data(Seal(key1, "778899AABBCC", kMask)) + Data("778899AABBCD"),
         Acks(6),
         {{"778899AABBCC", ""}}},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(Hex(Converse(test.client)), Hex(test.expected)) << test.name;
        for (const auto& [id, key] : test.storedAfter) {
            EXPECT_EQ(StoredKey(id), Hex(key)) << test.name << ": " << id;
        }
    }
    // What the service stored is served by it at once.
    EXPECT_EQ(Hex(GetKey("0A1B2C3D4E5F", kMask)), Hex(GetKeyReply(key1, "0A1B2C3D4E5F", kMask)));
    EXPECT_EQ(Hex(GetKey(kId2, "z")), Hex(GetKeyReply(key2, kId2, "z")));
}

TEST_F(TernwickTest, RegistrationByAnotherProcessIsServedAtTheNextRequest)
{
    Start();
    EXPECT_EQ(Hex(GetKey(kId1, kMask)), Hex(NotFoundReply()));
    Register(kId1, Key(1));
    EXPECT_EQ(Hex(GetKey(kId1, kMask)), Hex(GetKeyReply(Key(1), kId1, kMask)));
    Register(kId1, Key(2));
    EXPECT_EQ(Hex(GetKey(kId1, kMask)), Hex(GetKeyReply(Key(2), kId1, kMask)));
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"delete", kId1}), 0);
    EXPECT_EQ(Hex(GetKey(kId1, kMask)), Hex(NotFoundReply()));
    // Key list changes never restart the listener.
    EXPECT_EQ(m_service->CountLog("listening on port"), 1u) << m_service->Log();
}

TEST_F(TernwickTest, EveryRequestIsLoggedWithoutSecrets)
{
    const std::string key = Key(3);
    Register(kId1, key);
    SetPassword(kPassword);
    Start();
    GetKey(kId1, kMask);
    GetKey("FFFFFFFFFFFF", kMask);
    Converse(Request(256) + Data(Password(kPassword, kMask)) + Int(1) + Data(kId1) + Data(kMask) + Acks(3));
    // A peer must not be able to write lines of its own into the log.
    GetKey("AA\nrequest from 10.9.8.7: code 1", kMask);
    Converse(Header(2, 4) + Ack());
    ASSERT_TRUE(m_service->WaitForLog("request from 127.0.0.1", 6, 10000)) << m_service->Log();

    const std::string log = m_service->Log();
    EXPECT_NE(log.find("request from 127.0.0.1: code 16, id \"" + kId1 + "\", status (0, 0)"), std::string::npos)
        << log;
    EXPECT_NE(log.find("code 16, id \"FFFFFFFFFFFF\", status (2, 1)"), std::string::npos) << log;
    EXPECT_NE(log.find("code 256, id \"" + kId1 + "\", status (0, 0)"), std::string::npos) << log;
    EXPECT_NE(log.find("code none, status (1, 0), ended by \"Invalid Packet Receive Error!\""), std::string::npos)
        << log;
    EXPECT_EQ(log.find("\nrequest from 10.9.8.7"), std::string::npos) << log;
    EXPECT_EQ(log.find(kMask), std::string::npos);
    EXPECT_EQ(log.find(kPassword), std::string::npos);
    EXPECT_EQ(log.find(key), std::string::npos);
    EXPECT_EQ(log.find(Hex(key)), std::string::npos);
}
