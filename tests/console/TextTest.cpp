#include "ConsoleTest.h"
#include "Harness.h"
#include "console/PasswordText.h"
#include "console/PortProbe.h"
#include "console/PortText.h"

#include <gtest/gtest.h>
#include <optional>
#include <sys/socket.h>

namespace {

TEST(PortText, OnlyTheExactDecimalTextOfAPortIsAPortSetting)
{
    const struct
    {
        const char* text;
        std::optional<uint16_t> port;
    } cases[] = {
        {"51056", 51056},
        {"1", 1},
        {"65535", 65535},
        {"0", std::nullopt},
        {"65536", std::nullopt},
        {"051056", {}},
        {"+8080", {}},
        {" 8080", {}},
        {"8080 ", {}},
        {"80a", {}},
        {"-1", {}},
        {"", {}},
        {"5105\xEF\xBC\x95", {}}, // 5105 and a full-width 5
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParsePortSetting(c.text), c.port) << '"' << c.text << '"';
    }
}

TEST(PortText, ACopyTargetPortIsDigitsUpTo65535)
{
    EXPECT_EQ(ParseTargetPort("51056"), 51056);
    EXPECT_EQ(ParseTargetPort("051056"), 51056);
    for (const char* text : {"", "65536", "99999999999", "80a", "+80", " 80"}) {
        EXPECT_EQ(ParseTargetPort(text), std::nullopt) << '"' << text << '"';
    }
}

TEST(PortProbe, APortAnotherProgramListensOnIsInUseOnEitherFamily)
{
    const uint16_t port = Harness::FreePort();
    ASSERT_NE(port, 0);
    EXPECT_FALSE(IsPortInUse(port));
    {
        const CListener v4(AF_INET, port);
        ASSERT_TRUE(v4.listening);
        EXPECT_TRUE(IsPortInUse(port));
    }
    if (Harness::IPv6LoopbackWorks()) {
        const CListener v6(AF_INET6, port);
        ASSERT_TRUE(v6.listening);
        EXPECT_TRUE(IsPortInUse(port)) << "the service would fail to listen there";
    }
    EXPECT_FALSE(IsPortInUse(port));
}

TEST(PasswordText, TypedTextBecomesCodePage932BytesAndBack)
{
    const struct
    {
        const char* text;
        std::optional<std::string> bytes;
    } cases[] = {
        {"abc", "abc"},
        {"", ""},
        {"パスワード", "\x83\x70\x83\x58\x83\x8F\x81\x5B\x83\x68"},
        {"ｱｲ", "\xB1\xB2"},       // half-width katakana: one byte each
        {"\xF0\x9F\x94\x91", {}}, // a key emoji: no such character
        {"\xFF", {}},             // not UTF-8
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PasswordToCodePage(c.text), c.bytes) << c.text;
        if (c.bytes) {
            EXPECT_EQ(PasswordFromCodePage(*c.bytes), c.text);
        }
    }
    EXPECT_EQ(PasswordFromCodePage("a\x80"
                                   "b\x83"),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD")
        << "bytes of no character";
}

} // namespace
