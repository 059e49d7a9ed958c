// port and status against what holds the port: another listener, the real Ternwick; and a
// user who may not change the store.
#include "AdminTest.h"
#include "RawSocket.h"

#include <unistd.h>

namespace {

TEST_F(AdminTest, PortFollowsTheConsolesRule)
{
    uint16_t held = 0;
    const RawSocket holder = Harness::HoldFreePort("0.0.0.0", held);
    ASSERT_TRUE(holder.Valid());
    const uint16_t free = Harness::FreePort();
    const struct
    {
        std::string text;
        int status;
    } cases[] = {
        {"0", 2}, {"65536", 2}, {"051056", 2}, {"+8080", 2}, {" 8080", 2}, {std::to_string(held), 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run({"port", c.text}), c.status) << c.text;
        EXPECT_EQ(err.find("corvane-admin: "), 0u) << c.text;
    }
    EXPECT_EQ(Run({"port"}), 0);
    EXPECT_EQ(out, "51056\n");
    EXPECT_TRUE(portsFollowed.empty());

    EXPECT_EQ(Run({"port", std::to_string(free)}), 0) << err;
    EXPECT_EQ(out, "Port set to " + std::to_string(free) + ".\n");
    EXPECT_EQ(portsFollowed, std::vector<uint16_t>{free});
    EXPECT_EQ(Run({"port"}), 0);
    EXPECT_EQ(out, std::to_string(free) + "\n");

    // The stored port, held as the running service holds it: nothing to change.
    const RawSocket service = RawSocket::Listen(AF_INET, "0.0.0.0", free, 1);
    ASSERT_TRUE(service.Valid());
    EXPECT_EQ(Run({"port", std::to_string(free)}), 0) << err;
    EXPECT_EQ(out, "The port is " + std::to_string(free) + " already.\n");
    EXPECT_EQ(portsFollowed, std::vector<uint16_t>{free});
}

TEST_F(AdminTest, StatusSaysWhetherTheServiceAnswers)
{
    Register("000000000001", 1);
    serviceState = 4;
    uint16_t port = Harness::FreePort();
    ASSERT_EQ(store.WritePort(port), 1);
    EXPECT_EQ(Run({"status"}), 1);
    EXPECT_NE(out.find("Port:          " + std::to_string(port) + ", nothing answers there\n"), std::string::npos)
        << out;

    const auto service = StartService(port);
    EXPECT_EQ(Run({"status"}), 0) << err;
    const std::string head = "Service:       running\n"
                             "Port:          " +
                             std::to_string(port) +
                             ", answers\n"
                             "Cooperation:   not permitted\n"
                             "Registrations: 1\n"
                             "Throttle:      10 a second, burst 50\n"
                             "Release check: off, exempt: none\n"
                             "Last hour:     0 throttled, 0 release-check mismatches (as of ";
    EXPECT_EQ(out.substr(0, head.size()), head);
    const std::string tail = " UTC)\nKey store:     " + StateDir() + "/settings.db\n";
    EXPECT_EQ(out.substr(out.size() - std::min(out.size(), tail.size())), tail) << out;
}

TEST_F(AdminTest, ListAndStatusAsJsonAreOneObjectEach)
{
    uint16_t port = Harness::FreePort();
    ASSERT_EQ(store.WritePort(port), 1);
    const std::string storeText = ", \"keyStore\": \"" + StateDir() + "/settings.db\"}\n";
    EXPECT_EQ(Run({"list", "--json"}), 0) << err;
    EXPECT_EQ(out, "{\"count\": 0, \"registrations\": []}\n");
    serviceState = 1;
    EXPECT_EQ(Run({"status", "--json"}), 1) << err;
    EXPECT_EQ(out, "{\"service\": \"stopped\", \"serviceState\": 1, \"port\": " + std::to_string(port) +
                       ", \"answers\": false, \"cooperation\": false, \"registrations\": 0, \"throttleRate\": 10, "
                       "\"throttleBurst\": 50, \"releaseCheck\": \"off\", \"releaseExempt\": [], \"lastHour\": null, "
                       "\"peers\": []" +
                       storeText);

    Register("000000000002", 2);
    Register("000000000001", 1);
    ASSERT_EQ(store.WritePassword("pw"), 1);
    serviceState = 4;
    const auto service = StartService(port);
    EXPECT_EQ(Run({"list", "--json"}), 0) << err;
    EXPECT_EQ(out, "{\"count\": 2, \"registrations\": [\"000000000001\", \"000000000002\"]}\n");
    EXPECT_EQ(Run({"status", "--json"}), 0) << err;
    const std::string running =
        "{\"service\": \"running\", \"serviceState\": 4, \"port\": " + std::to_string(port) +
        ", \"answers\": true, \"cooperation\": true, \"registrations\": 2, \"throttleRate\": 10, "
        "\"throttleBurst\": 50, \"releaseCheck\": \"off\", \"releaseExempt\": [], "
        "\"lastHour\": {\"throttled\": 0, \"mismatches\": 0, \"asOf\": ";
    EXPECT_EQ(out.substr(0, running.size()), running);
    const std::string end = "}, \"peers\": []" + storeText;
    EXPECT_EQ(out.substr(out.size() - std::min(out.size(), end.size())), end) << out;
    EXPECT_EQ(Run({"port", "--json"}), 2);
}

TEST_F(AdminTest, AUserWhoCannotWriteTheStoreIsRefused)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the program as another user";
    }
    std::string unreachable;
    if (Harness::CopyForAnyUser(CORVANE_ADMIN_PATH, &unreachable).empty()) {
        GTEST_SKIP() << unreachable;
    }
    Register("000000000001", 1);
    const std::string refusal = "corvane-admin: you may not change the key store " + StateDir() +
                                "/settings.db (Permission denied): run this as root\n";
    const std::vector<std::string> writing[] = {
        {"register", "--yes"},
        {"delete", "--yes", "000000000001"},
        {"port", "8080"},
        {"password", "off"},
        {"fetch", "--yes", "127.0.0.1:1", "000000000001"},
    };
    for (const auto& args : writing) {
        const SProgramRun run = RunAdminProgram(StateDir(), args, {true, "", ""});
        EXPECT_EQ(run.status, 1) << args.front();
        EXPECT_EQ(run.err, refusal) << args.front();
    }
    const SProgramRun list = RunAdminProgram(StateDir(), {"list"}, {true, "", ""});
    EXPECT_EQ(list.status, 1);
    EXPECT_EQ(list.err, "corvane-admin: you may not read the key store " + StateDir() +
                            "/settings.db (Permission denied): run this as root\n");
    EXPECT_EQ(Registered(), std::vector<std::string>{"000000000001"});
    EXPECT_EQ(store.ReadPort(), 51056);
}

} // namespace
