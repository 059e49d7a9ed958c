#include "AdminTest.h"
#include "admin/JsonText.h"
#include "settings/CGuardSettings.h"
#include "settings/GuardCounts.h"

namespace {

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

} // namespace

// The counts the service writes in the state directory, as status shows them; a time no
// calendar holds is said to be unknown rather than misprinted.
TEST_F(AdminTest, StatusShowsTheGuardsCountsOfTheLastHour)
{
    ASSERT_EQ(store.WritePort(1), 1); // nothing answers there, at once
    const struct
    {
        int64_t written;
        std::string asOf;
    } cases[] = {
        {1796784600, "2026-12-09 02:50 UTC"},
        {-62135596800, "0001-01-01 00:00 UTC"},
        {253402300800, "an unknown time"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteGuardCounts({c.written, 3, 1}, m_countsDirectory));
        EXPECT_EQ(Run({"status"}), 1);
        EXPECT_NE(out.find("Last hour:     3 throttled, 1 release-check mismatches (as of " + c.asOf + ")\n"),
                  std::string::npos)
            << out;
    }
}

// The guards' settings: shown, set, refused when malformed (nothing written then), and
// kept apart from each other.
TEST_F(AdminTest, ThrottleReleaseCheckAndPushLimitAreSetAndShown)
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
        {{"push-limit"}, 0, "100000\n"},
        {{"push-limit", "-1"}, 2, ""},
        {{"push-limit", "0"}, 2, ""},
        {{"push-limit", "2500"}, 0, "Push limit set: cooperation pushes may add registrations up to 2500 in all.\n"},
        {{"push-limit"}, 0, "2500\n"},
        {{"throttle"}, 0, "off\n"},
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
    EXPECT_EQ(stored.pushLimit, 2500u);
}
