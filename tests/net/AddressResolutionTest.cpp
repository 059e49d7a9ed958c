#include "net/AddressResolution.h"

#include "SocketCatch.h"
#include "SocketHeaders.h"
#include "net/SocketErrors.h"
#include "net/SocketTypes.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace ZiRez;

namespace {

constexpr const char* kUnresolvable = "no-such-host.invalid";

// A name of this machine with addresses of both families, if it has one.
std::string DualStackName()
{
    for (const char* name : {"localhost", "localhost6", "ip6-localhost"}) {
        bool v4 = false;
        bool v6 = false;
        for (int family : {AF_INET, AF_INET6}) {
            addrinfo hints{};
            hints.ai_family = family;
            addrinfo* list = nullptr;
            if (getaddrinfo(name, nullptr, &hints, &list) == 0) {
                (family == AF_INET ? v4 : v6) = list != nullptr && list->ai_family == family;
                freeaddrinfo(list);
            }
        }
        if (v4 && v6) {
            return name;
        }
    }
    return {};
}

} // namespace

TEST(AddressResolution, HostsAreSortedByFamily)
{
    struct Row
    {
        const char* host;
        bool ipv4;
        bool ipv6;
        uint16_t family;
    } rows[] = {
        {"127.0.0.1", true, false, FAMILY_INET}, {"::1", false, true, FAMILY_INET6},
        {"fe80::1", false, true, FAMILY_INET6},  {"localhost", true, false, FAMILY_INET},
        {"", false, false, FAMILY_UNSPEC},       {kUnresolvable, false, false, FAMILY_UNSPEC},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IsIPv4Host(row.host), row.ipv4) << row.host;
        if (std::strcmp(row.host, "localhost") != 0) {
            EXPECT_EQ(IsIPv6Host(row.host), row.ipv6) << row.host;
        }
        EXPECT_EQ(GetAddressFamily(row.host), row.family) << row.host;
    }
}

TEST(AddressResolution, NameWithBothFamiliesResolvesToIPv4)
{
    const std::string name = DualStackName();
    if (name.empty()) {
        GTEST_SKIP() << "no name with IPv4 and IPv6 addresses on this machine";
    }
    EXPECT_EQ(GetAddressFamily(name), FAMILY_INET);
}

TEST(AddressResolution, StringToAddressCopiesTheFirstAddress)
{
    unsigned char buffer[28];
    std::memset(buffer, 0xAA, sizeof buffer);
    StringToAddress(FAMILY_INET, "192.0.2.7", buffer, 16);
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(buffer);
    EXPECT_EQ(ipv4->sin_family, AF_INET);
    EXPECT_EQ(ntohl(ipv4->sin_addr.s_addr), 0xC0000207U);

    StringToAddress(FAMILY_INET6, "2001:db8::5", buffer, 28);
    const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(buffer);
    EXPECT_EQ(ipv6->sin6_family, AF_INET6);
    in6_addr expected{};
    inet_pton(AF_INET6, "2001:db8::5", &expected);
    EXPECT_EQ(std::memcmp(&ipv6->sin6_addr, &expected, sizeof expected), 0);
}

TEST(AddressResolution, StringToAddressRefusesBadArguments)
{
    unsigned char buffer[28];
    struct Row
    {
        uint16_t family;
        const char* host;
        void* buffer;
        size_t size;
    } rows[] = {
        {FAMILY_INET, "127.0.0.1", buffer, 15},   {FAMILY_INET6, "::1", buffer, 27},
        {FAMILY_INET, "127.0.0.1", nullptr, 16},  {FAMILY_INET, "", buffer, 16},
        {FAMILY_UNSPEC, "127.0.0.1", buffer, 28}, {FAMILY_INET, kUnresolvable, buffer, 16},
        {FAMILY_INET, "::1", buffer, 16},
    };
    for (const Row& row : rows) {
        const Thrown thrown = Catch([&] { StringToAddress(row.family, row.host, row.buffer, row.size); });
        EXPECT_EQ(thrown.kind, Thrown::Error) << row.host << " " << row.size;
        EXPECT_EQ(thrown.code, 11);
        EXPECT_EQ(thrown.message, "NetStringToAddress error!");
    }
}

TEST(AddressResolution, UnresolvableHostSetsTheResolverError)
{
    unsigned char buffer[16];
    Catch([&] { StringToAddress(FAMILY_INET, kUnresolvable, buffer, sizeof buffer); });
    // Host not found, or its neighbours when no resolver answers here.
    const int32_t code = GetLastSocketError();
    EXPECT_TRUE(code == 11001 || code == 11002 || code == 11004) << code;
}

TEST(AddressResolution, NetStringToAddressFillsAddressPortAndFamily)
{
    unsigned char buffer[128];
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(NetStringToAddress(buffer, "127.0.0.1", 51056), htons(51056));
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(buffer);
    EXPECT_EQ(ipv4->sin_family, AF_INET);
    EXPECT_EQ(ipv4->sin_port, htons(51056));
    EXPECT_EQ(ntohl(ipv4->sin_addr.s_addr), 0x7F000001U);
    EXPECT_EQ(std::vector<unsigned char>(buffer + 8, buffer + 16), std::vector<unsigned char>(8, 0));

    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(NetStringToAddress(buffer, "::1", 80), htons(80));
    const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(buffer);
    EXPECT_EQ(ipv6->sin6_family, AF_INET6);
    EXPECT_EQ(ipv6->sin6_port, htons(80));
    EXPECT_TRUE(IN6_IS_ADDR_LOOPBACK(&ipv6->sin6_addr));
}

TEST(AddressResolution, NetStringToAddressOfNoHostIsSixteenZeroBytes)
{
    for (const char* host : {"", kUnresolvable}) {
        unsigned char buffer[128];
        std::memset(buffer, 0xAA, sizeof buffer);
        EXPECT_EQ(NetStringToAddress(buffer, host, 51056), 0) << host;
        EXPECT_EQ(std::vector<unsigned char>(buffer, buffer + 16), std::vector<unsigned char>(16, 0)) << host;
        EXPECT_EQ(buffer[16], 0xAA) << "only 16 bytes are touched";
    }
}
