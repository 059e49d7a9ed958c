#include "RequestCommand.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;
using Kind = RequestCommand::Kind;

TEST(RequestCommandTest, HexRoundTripsAndRefusesMalformedText)
{
    EXPECT_EQ(ToHex(std::string("\x00\x7f\x80\xff", 4)), "007f80ff");
    EXPECT_EQ(FromHex("007F80ff"), std::string("\x00\x7f\x80\xff", 4));
    EXPECT_EQ(FromHex(""), std::string());
    for (const char* bad : {"0", "0g", "zz", "12 4", "-1"}) {
        EXPECT_FALSE(FromHex(bad).has_value()) << bad;
    }
}

TEST(RequestCommandTest, AcceptsEachCommandWithItsItems)
{
    std::string error;
    const auto check = ParseRequestCommand(Args{"check", "127.0.0.1", "51056"}, error);
    ASSERT_TRUE(check) << error;
    EXPECT_EQ(check->kind, Kind::Check);
    EXPECT_EQ(check->host, "127.0.0.1");
    EXPECT_EQ(check->port, 51056);
    EXPECT_EQ(check->timeOutMs, 10000);
    const auto limited = ParseRequestCommand(Args{"check", "h", "--timeout", "3", "1"}, error);
    ASSERT_TRUE(limited) << error;
    EXPECT_EQ(limited->timeOutMs, 3000);
    EXPECT_EQ(limited->port, 1);

    const auto get = ParseRequestCommand(Args{"get-key", "h", "1", "00a0b0c0d0e0", "0102"}, error);
    ASSERT_TRUE(get) << error;
    EXPECT_EQ(get->kind, Kind::GetKey);
    // Sent as typed: the service matches identifiers exactly.
    EXPECT_EQ(get->ids, Args{"00a0b0c0d0e0"});
    EXPECT_EQ(get->mask, std::string("\x01\x02"));

    const auto fetch = ParseRequestCommand(Args{"fetch-keys", "h", "65535", "pw", "A", "--mask", "ff", "B"}, error);
    ASSERT_TRUE(fetch) << error;
    EXPECT_EQ(fetch->password, "pw");
    EXPECT_EQ(fetch->ids, (Args{"A", "B"}));
    EXPECT_EQ(fetch->mask, std::string("\xff"));

    const std::string key(64, 'a');
    const auto store = ParseRequestCommand(Args{"store-keys", "h", "2", "-", "id1=" + key}, error);
    ASSERT_TRUE(store) << error;
    EXPECT_TRUE(store->passwordFromInput);
    EXPECT_EQ(store->ids, Args{"id1"});
    EXPECT_EQ(store->keys, Args{std::string(32, '\xaa')});
    EXPECT_FALSE(store->mask.has_value());
}

TEST(RequestCommandTest, RefusesMalformedArgumentsWithAReason)
{
    const std::string key(64, '0');
    const struct
    {
        Args args;
        const char* reason;
    } cases[] = {
        {{}, "no command"},
        {{"ping", "h", "1"}, "unknown command"},
        {{"check", "h"}, "needs more"},
        {{"check", "h", "1", "extra"}, "no more than"},
        {{"check", "h", "0"}, "port"},
        {{"check", "h", "65536"}, "port"},
        {{"check", "h", "80x"}, "port"},
        {{"get-key", "h", "1"}, "needs more"},
        {{"get-key", "h", "1", "ID", "xyz"}, "mask"},
        // An empty mask cannot travel: the service refuses an empty item.
        {{"get-key", "h", "1", "ID", ""}, "mask"},
        {{"get-key", "h", "1", "ID", "00", "more"}, "get-key takes"},
        {{"fetch-keys", "h", "1", "pw", "--mask"}, "--mask"},
        {{"check", "h", "1", "--timeout"}, "--timeout"},
        {{"check", "h", "1", "--timeout", "0"}, "--timeout"},
        {{"check", "h", "1", "--timeout", "3601"}, "--timeout"},
        {{"store-keys", "h", "1", "pw"}, "at least one"},
        {{"store-keys", "h", "1", "pw", "ID"}, "ID=KEYHEX"},
        {{"store-keys", "h", "1", "pw", "=" + key}, "ID=KEYHEX"},
        {{"store-keys", "h", "1", "pw", "ID=" + key.substr(2)}, "32-byte"},
    };
    for (const auto& entry : cases) {
        std::string error;
        EXPECT_FALSE(ParseRequestCommand(entry.args, error).has_value()) << testing::PrintToString(entry.args);
        EXPECT_NE(error.find(entry.reason), std::string::npos) << error;
    }
}

} // namespace
