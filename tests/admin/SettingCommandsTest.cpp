#include "AdminTest.h"
#include "admin/JsonText.h"
#include "settings/CGuardSettings.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Something else listening on the port on all IPv4 addresses while it lives.
class CPortHolder
{
public:
    explicit CPortHolder(uint16_t port) : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        EXPECT_EQ(bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(m_fd, 1), 0);
    }
    ~CPortHolder() { close(m_fd); }
    CPortHolder(const CPortHolder&) = delete;
    CPortHolder& operator=(const CPortHolder&) = delete;

private:
    int m_fd;
};

TEST_F(AdminTest, PortFollowsTheConsolesRule)
{
    const uint16_t held = Harness::FreePort();
    const CPortHolder holder(held);
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
    const CPortHolder service(free);
    EXPECT_EQ(Run({"port", std::to_string(free)}), 0) << err;
    EXPECT_EQ(out, "The port is " + std::to_string(free) + " already.\n");
    EXPECT_EQ(portsFollowed, std::vector<uint16_t>{free});
}

TEST_F(AdminTest, PasswordLimitsAreThoseOfTheConsole)
{
    const struct
    {
        const char* condition;
        std::vector<std::string> args;
        std::string input;
        std::deque<std::string> typed;
        int status;
        std::string stored; // code page 932 bytes
    } cases[] = {
        {"ten Japanese characters are 20 bytes",
         {"password", "set", "--stdin"},
         "パスワードパスワード\n",
         {},
         0,
         std::string("\x83\x70\x83\x58\x83\x8F\x81\x5B\x83\x68", 10) +
             std::string("\x83\x70\x83\x58\x83\x8F\x81\x5B\x83\x68", 10)},
        {"eleven are 22", {"password", "set", "--stdin"}, "パスワードパスワードパ\n", {}, 1, ""},
        {"21 letters", {"password", "set", "--stdin"}, std::string(21, 'a') + "\n", {}, 1, ""},
        {"no code page 932 form", {"password", "set", "--stdin"}, "\xF0\x9F\x94\x91\n", {}, 1, ""},
        {"empty", {"password", "set", "--stdin"}, "\n", {}, 1, ""},
        {"typed twice, differently", {"password", "set"}, "", {"abc", "abd"}, 1, ""},
        {"typed twice", {"password", "set"}, "", {"abc", "abc"}, 0, "abc"},
        {"withdrawn", {"password", "off"}, "", {}, 0, ""},
        {"no terminal and no --stdin", {"password", "set"}, "", {}, 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.condition);
        ASSERT_EQ(store.WritePassword(""), 1);
        terminal.interactive = !c.typed.empty();
        terminal.typed = c.typed;
        EXPECT_EQ(Run(c.args, c.input), c.status) << err;
        EXPECT_EQ(store.ReadPassword(), c.stored);
        EXPECT_EQ(err.empty(), c.status == 0) << err;
        EXPECT_EQ(Run({"password"}), 0);
        EXPECT_EQ(out, c.stored.empty() ? "Cooperation is not permitted.\n" : "Cooperation is permitted.\n");
    }
}

TEST_F(AdminTest, StatusSaysWhetherTheServiceAnswers)
{
    Register("000000000001", 1);
    serviceState = 4;
    const uint16_t port = Harness::FreePort();
    ASSERT_EQ(store.WritePort(port), 1);
    EXPECT_EQ(Run({"status"}), 1);
    EXPECT_NE(out.find("Port:          " + std::to_string(port) + ", nothing answers there\n"), std::string::npos)
        << out;

    Harness::CTernwickProcess service(StateDir(), "");
    ASSERT_TRUE(Harness::WaitForListener(port, 20000)) << service.Log();
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
    const uint16_t port = Harness::FreePort();
    ASSERT_EQ(store.WritePort(port), 1);
    const std::string storeText = ", \"keyStore\": \"" + StateDir() + "/settings.db\"}\n";
    EXPECT_EQ(Run({"list", "--json"}), 0) << err;
    EXPECT_EQ(out, "{\"count\": 0, \"registrations\": []}\n");
    serviceState = 1;
    EXPECT_EQ(Run({"status", "--json"}), 1) << err;
    EXPECT_EQ(out, "{\"service\": \"stopped\", \"serviceState\": 1, \"port\": " + std::to_string(port) +
                       ", \"answers\": false, \"cooperation\": false, \"registrations\": 0, \"throttleRate\": 10, "
                       "\"throttleBurst\": 50, \"releaseCheck\": \"off\", \"releaseExempt\": [], \"lastHour\": null" +
                       storeText);

    Register("000000000002", 2);
    Register("000000000001", 1);
    ASSERT_EQ(store.WritePassword("pw"), 1);
    serviceState = 4;
    Harness::CTernwickProcess service(StateDir(), "");
    ASSERT_TRUE(Harness::WaitForListener(port, 20000)) << service.Log();
    EXPECT_EQ(Run({"list", "--json"}), 0) << err;
    EXPECT_EQ(out, "{\"count\": 2, \"registrations\": [\"000000000001\", \"000000000002\"]}\n");
    EXPECT_EQ(Run({"status", "--json"}), 0) << err;
    const std::string running =
        "{\"service\": \"running\", \"serviceState\": 4, \"port\": " + std::to_string(port) +
        ", \"answers\": true, \"cooperation\": true, \"registrations\": 2, \"throttleRate\": 10, "
        "\"throttleBurst\": 50, \"releaseCheck\": \"off\", \"releaseExempt\": [], "
        "\"lastHour\": {\"throttled\": 0, \"mismatches\": 0, \"asOf\": ";
    EXPECT_EQ(out.substr(0, running.size()), running);
    const std::string end = "}" + storeText;
    EXPECT_EQ(out.substr(out.size() - std::min(out.size(), end.size())), end) << out;
    EXPECT_EQ(Run({"port", "--json"}), 2);
}

TEST(JsonText, StringsAreEscapedAndAlwaysValidUtf8)
{
    const struct
    {
        std::string text;
        std::string json;
    } cases[] = {
        {"00A0B0C0D0E0", "\"00A0B0C0D0E0\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {std::string("\n\x01\x7f", 3), "\"\\u000a\\u0001\\u007f\""},
        {"鍵", "\"鍵\""},
        {"\xff\xc3", "\"\\ufffd\\ufffd\""},
        {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},         // a surrogate
        {"\xc0\x80", "\"\\ufffd\\ufffd\""},                    // an overlong NUL
        {std::string("\xc2\x9b") + "2J", "\"\\u009b2J\""},     // the C1 control CSI
        {std::string("a\xe2\x80\xae") + "b", "\"a\\u202eb\""}, // right-to-left override
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JsonString(c.text), c.json) << c.text;
    }
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

// The guards' settings: shown, set, refused when malformed (nothing written then), and
// kept apart from each other.
TEST_F(AdminTest, ThrottleAndReleaseCheckAreSetAndShown)
{
    const struct
    {
        std::vector<std::string> args;
        int status;
        std::string out; // of the command, or of "throttle" and "release-check" after it
    } cases[] = {
        {{"throttle"}, 0, "10 a second, burst 50\n"},
        {{"release-check"}, 0, "off\nexempt: none\n"},
        {{"throttle", "0"}, 2, ""},
        {{"throttle", "010"}, 2, ""},
        {{"throttle", "100001"}, 2, ""},
        {{"throttle", "5", "x"}, 2, ""},
        {{"throttle", "off", "5"}, 2, ""},
        {{"throttle", "5"}, 0, "Throttle set to 5 a second, burst 50 per peer.\n"},
        {{"throttle", "2", "7"}, 0, "Throttle set to 2 a second, burst 7 per peer.\n"},
        {{"throttle"}, 0, "2 a second, burst 7\n"},
        {{"release-check", "on"}, 2, ""},
        {{"release-check", "log", "enforce"}, 2, ""},
        {{"release-check", "exempt", "add"}, 2, ""},
        {{"release-check", "exempt", "add", "10.1.2.3/16"}, 2, ""},
        {{"release-check", "exempt", "add", "10.1.0.0/33"}, 2, ""},
        {{"release-check", "enforce"},
         0,
         "Release check enforced: a peer is given only the key of its own link-layer address.\n"},
        {{"release-check", "exempt", "add", "10.1.0.0/16", "2001:db8::/48", "10.1.0.0/16"},
         0,
         "Exempt from the release check: 10.1.0.0/16,2001:db8::/48.\n"},
        {{"release-check", "exempt", "remove", "192.0.2.0/24"}, 1, ""},
        {{"release-check", "exempt", "remove", "10.1.0.0/16"}, 0, "Exempt from the release check: 2001:db8::/48.\n"},
        {{"release-check"}, 0, "enforce\nexempt: 2001:db8::/48\n"},
        {{"throttle", "off"}, 0, "Throttle off: peers may ask for unknown IDs and try passwords without limit.\n"},
        {{"throttle"}, 0, "off\n"},
        {{"release-check", "log"},
         0,
         "Release check logs each key asked for by a peer whose link-layer address is not its ID.\n"},
        {{"release-check"}, 0, "log\nexempt: 2001:db8::/48\n"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& arg : c.args) {
            line += arg + " ";
        }
        EXPECT_EQ(Run(c.args), c.status) << line << err;
        if (c.status == 0) {
            EXPECT_EQ(out, c.out) << line;
        } else {
            EXPECT_EQ(err.find("corvane-admin: "), 0u) << line;
        }
    }
    SGuardSettings stored;
    ASSERT_EQ(CGuardSettings::Read(stored), 1);
    EXPECT_EQ(stored.throttleRate, 0u);
    EXPECT_EQ(stored.throttleBurst, 7u);
    EXPECT_EQ(stored.releaseCheck, SGuardSettings::ReleaseCheck::LogOnly);
    EXPECT_EQ(stored.exemptSubnets, "2001:db8::/48");
}
