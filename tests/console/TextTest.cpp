#include "ConsoleTest.h"
#include "Harness.h"
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
        const RawSocket v4 = RawSocket::Listen(AF_INET, "127.0.0.1", port, 4);
        ASSERT_TRUE(v4.Valid());
        EXPECT_TRUE(IsPortInUse(port));
    }
    if (Harness::IPv6LoopbackWorks()) {
        const RawSocket v6 = RawSocket::Listen(AF_INET6, "::1", port, 4);
        ASSERT_TRUE(v6.Valid());
        EXPECT_TRUE(IsPortInUse(port)) << "the service would fail to listen there";
    }
    EXPECT_FALSE(IsPortInUse(port));
}

} // namespace
