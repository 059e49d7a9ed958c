#include "net/CBaseSocket.h"

#include "RawSocket.h"
#include "net/CSocketError.h"
#include "net/SocketErrors.h"
#include "net/StackProbe.h"

#include <cstring>
#include <gtest/gtest.h>
#include <optional>
#include <string>

using namespace ZiRez;

namespace {

template <typename Call> CSocketError CaughtError(Call call)
{
    try {
        call();
    } catch (const CSocketError& error) {
        return error;
    }
    ADD_FAILURE() << "no CSocketError thrown";
    return CSocketError("", 0);
}

sockaddr_in AnyIPv4(uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    return address;
}

sockaddr_in6 AnyIPv6(uint16_t port)
{
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    address.sin6_addr = in6addr_any;
    return address;
}

int IntOption(SocketHandle socket, int level, int option)
{
    const int value = RawSocket::IntOption(socket, level, option);
    EXPECT_NE(value, -1) << "option " << option << " unreadable";
    return value;
}

// The blocking mode, where the system tells it.
void ExpectNonBlocking(SocketHandle socket, bool nonBlocking)
{
    if (const std::optional<bool> mode = RawSocket::NonBlocking(socket)) {
        EXPECT_EQ(*mode, nonBlocking);
    }
}

} // namespace

TEST(StackProbe, IPv4IsAvailableOnThisMachine)
{
    EXPECT_TRUE(IsIPv4Available());
}

TEST(CBaseSocket, OpenWithBothFamiliesCreatesTwoSocketsTheIPv6OneIPv6Only)
{
    if (!IsIPv6Available()) {
        GTEST_SKIP() << "no IPv6 stack";
    }
    CBaseSocket base(FAMILY_UNSPEC, SOCKET_STREAM, true, true);
    base.Open();
    ASSERT_NE(base.IPv4Socket(), INVALID_SOCKET_HANDLE);
    ASSERT_NE(base.IPv6Socket(), INVALID_SOCKET_HANDLE);
    EXPECT_EQ(IntOption(base.IPv6Socket(), IPPROTO_IPV6, IPV6_V6ONLY), 1);
    for (const SocketHandle socket : {base.IPv4Socket(), base.IPv6Socket()}) {
        EXPECT_NE(RawSocket::ReusesAddress(socket), std::optional<bool>(false));
    }
    EXPECT_EQ(IntOption(base.IPv4Socket(), SOL_SOCKET, SO_TYPE), SOCK_STREAM);
    base.Close();
    EXPECT_EQ(base.IPv4Socket(), INVALID_SOCKET_HANDLE);
    EXPECT_EQ(base.IPv6Socket(), INVALID_SOCKET_HANDLE);
}

TEST(CBaseSocket, SelectorAndAvailabilityDecideWhichSocketsExist)
{
    struct Row
    {
        uint16_t family;
        bool ipv4;
        bool ipv6;
        bool wantIPv4;
        bool wantIPv6;
    } rows[] = {
        {FAMILY_UNSPEC, true, false, true, false}, {FAMILY_INET, true, true, true, false},
        {FAMILY_INET6, true, true, false, true},   {FAMILY_INET6, true, false, false, false},
        {FAMILY_UNSPEC, false, true, false, true},
    };
    for (const Row& row : rows) {
        if (row.wantIPv6 && !IsIPv6Available()) {
            continue;
        }
        CBaseSocket base(row.family, SOCKET_STREAM, row.ipv4, row.ipv6);
        base.Open();
        EXPECT_EQ(base.IPv4Socket() != INVALID_SOCKET_HANDLE, row.wantIPv4) << row.family << row.ipv4 << row.ipv6;
        EXPECT_EQ(base.IPv6Socket() != INVALID_SOCKET_HANDLE, row.wantIPv6) << row.family << row.ipv4 << row.ipv6;
    }
}

TEST(CBaseSocket, IPv4OnlyListenerWorks)
{
    CBaseSocket base(FAMILY_UNSPEC, SOCKET_STREAM, true, false);
    base.Open();
    const sockaddr_in address = AnyIPv4(0);
    EXPECT_EQ(base.Bind(reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    base.Listen();
    RawSocket client = RawSocket::Connect(AF_INET, "127.0.0.1", base.BoundPort(FAMILY_INET));
    EXPECT_TRUE(client.Valid());
}

TEST(CBaseSocket, BindOnATakenPortComposesTheMessage)
{
    RawSocket holder = RawSocket::Listen(AF_INET, "0.0.0.0", 0, 4);
    ASSERT_TRUE(holder.Valid());
    CBaseSocket base(FAMILY_INET, SOCKET_STREAM, true, true);
    base.Open();
    const sockaddr_in address = AnyIPv4(holder.Port());
    const CSocketError error =
        CaughtError([&] { base.Bind(reinterpret_cast<const sockaddr*>(&address), sizeof address); });
    EXPECT_EQ(error.GetCode(), 5);
    EXPECT_STREQ(error.what(), "CBaseSocket::Bind: WSAEADDRINUSE: Address already in use.\n(IPv4) Socket Bind Error!");
    EXPECT_EQ(GetLastSocketError(), 10048);
}

TEST(CBaseSocket, BindOnATakenIPv6PortComposesTheMessage)
{
    if (!IPv6LoopbackUsable()) {
        GTEST_SKIP() << "::1 cannot be bound";
    }
    RawSocket holder = RawSocket::Listen(AF_INET6, "::", 0, 4);
    ASSERT_TRUE(holder.Valid());
    CBaseSocket base(FAMILY_INET6, SOCKET_STREAM, true, true);
    base.Open();
    const sockaddr_in6 address = AnyIPv6(holder.Port());
    const CSocketError error =
        CaughtError([&] { base.Bind(reinterpret_cast<const sockaddr*>(&address), sizeof address); });
    EXPECT_EQ(error.GetCode(), 5);
    EXPECT_STREQ(error.what(), "CBaseSocket::Bind: WSAEADDRINUSE: Address already in use.\n(IPv6) Socket Bind Error!");
}

TEST(CBaseSocket, BindOfAnotherFamilyIsUnknown)
{
    CBaseSocket base(FAMILY_UNSPEC, SOCKET_STREAM, true, false);
    base.Open();
    sockaddr unixAddress{};
    unixAddress.sa_family = AF_UNIX;
    const CSocketError error = CaughtError([&] { base.Bind(&unixAddress, sizeof unixAddress); });
    EXPECT_EQ(error.GetCode(), 5);
    EXPECT_STREQ(error.what(), "(UNKNOWN) Socket Bind Error!");
}

TEST(CBaseSocket, SetSockOptTranslatesLevelsAndOptions)
{
    if (!IsIPv6Available()) {
        GTEST_SKIP() << "no IPv6 stack";
    }
    CBaseSocket base(FAMILY_UNSPEC, SOCKET_STREAM, true, true);
    base.Open();
    const int32_t ttl = 17;
    EXPECT_EQ(base.SetSockOpt(LEVEL_IP, OPTION_IP_TTL, &ttl, sizeof ttl), 0);
    EXPECT_EQ(IntOption(base.IPv4Socket(), IPPROTO_IP, IP_TTL), 17);
    const int32_t hops = 9;
    EXPECT_EQ(base.SetSockOpt(LEVEL_IPV6, OPTION_IPV6_UNICAST_HOPS, &hops, sizeof hops), 0);
    EXPECT_EQ(IntOption(base.IPv6Socket(), IPPROTO_IPV6, IPV6_UNICAST_HOPS), 9);
    // Levels other than IP and IPv6 are left alone.
    EXPECT_EQ(base.SetSockOpt(LEVEL_SOCKET, OPTION_REUSEADDR, &ttl, sizeof ttl), LEVEL_SOCKET);
    EXPECT_EQ(base.SetSockOpt(6, 1, &ttl, sizeof ttl), 6);
}

TEST(CBaseSocket, SetSockOptFailuresComposeTheOptionMessage)
{
    if (!IsIPv6Available()) {
        GTEST_SKIP() << "no IPv6 stack";
    }
    CBaseSocket base(FAMILY_UNSPEC, SOCKET_STREAM, true, true);
    base.Open();
    const int32_t value = 1;
    // An option with no counterpart here is the bad-protocol-option error.
    CSocketError error = CaughtError([&] { base.SetSockOpt(LEVEL_IPV6, 99, &value, sizeof value); });
    EXPECT_EQ(error.GetCode(), 7);
    EXPECT_STREQ(error.what(), "CBaseSocket::SetSockOpt: IPV6_UNKNOWN\nWSAENOPROTOOPT: Bad protocol option.\n"
                               "(IPv6) Socket SetOption Error 02!");
    error = CaughtError([&] { base.SetSockOpt(LEVEL_IP, 99, &value, sizeof value); });
    EXPECT_EQ(error.GetCode(), 7);
    EXPECT_STREQ(error.what(),
                 "CBaseSocket::SetSockOpt: WSAENOPROTOOPT: Bad protocol option.\n(IPv4) Socket SetOption Error 02!");
    // A value too short for the option is refused by the system.
    const char shortValue = 1;
    error = CaughtError([&] { base.SetSockOpt(LEVEL_IPV6, OPTION_IPV6_JOIN_GROUP, &shortValue, 1); });
    EXPECT_EQ(error.GetCode(), 7);
    EXPECT_EQ(std::string(error.what()).rfind("CBaseSocket::SetSockOpt: IPV6_JOIN_GROUP\n", 0), 0U);
}

TEST(CBaseSocket, SetOptionAndControlModeApplyToEverySocket)
{
    CBaseSocket base(FAMILY_UNSPEC, SOCKET_STREAM, true, IsIPv6Available());
    base.Open();
    base.SetOption(OPTION_KEEPALIVE);
    EXPECT_EQ(IntOption(base.IPv4Socket(), SOL_SOCKET, SO_KEEPALIVE), 1);
    base.ControlMode(MODE_FIONBIO, 1);
    ExpectNonBlocking(base.IPv4Socket(), true);
    if (base.IPv6Socket() != INVALID_SOCKET_HANDLE) {
        EXPECT_EQ(IntOption(base.IPv6Socket(), SOL_SOCKET, SO_KEEPALIVE), 1);
        ExpectNonBlocking(base.IPv6Socket(), true);
    }
    // Restricted to one family, the other socket keeps its mode.
    base.ControlMode(MODE_FIONBIO, 0, FAMILY_INET);
    ExpectNonBlocking(base.IPv4Socket(), false);
    if (base.IPv6Socket() != INVALID_SOCKET_HANDLE) {
        ExpectNonBlocking(base.IPv6Socket(), true);
    }

    const CSocketError option = CaughtError([&] { base.SetOption(0x7777); });
    EXPECT_EQ(option.GetCode(), 7);
    EXPECT_STREQ(option.what(), "(IPv4) Socket SetOption Error!");
    const CSocketError mode = CaughtError([&] { base.ControlMode(0x1234, 1); });
    EXPECT_EQ(mode.GetCode(), 8);
    EXPECT_STREQ(mode.what(), "(IPv4) Socket IoCtlSocket Error!");
}

TEST(CBaseSocket, ControlModeOnAClosedSocketFails)
{
    CBaseSocket base(FAMILY_INET6, SOCKET_STREAM, true, true);
    const CSocketError error = CaughtError([&] { base.ControlMode(MODE_FIONBIO, 1); });
    EXPECT_EQ(error.GetCode(), 8);
    EXPECT_STREQ(error.what(), "(IPv6) Socket IoCtlSocket Error!");
}

TEST(CBaseSocket, SendAndRecvMakeOneCallAndReportFailures)
{
    RawSocket listener = RawSocket::Listen(AF_INET, "127.0.0.1", 0, 4);
    RawSocket client = RawSocket::Connect(AF_INET, "127.0.0.1", listener.Port());
    RawSocket server = listener.Accept();
    ASSERT_TRUE(server.Valid());
    CBaseSocket base(FAMILY_INET, SOCKET_STREAM, true, false);

    EXPECT_EQ(base.Send(client.Fd(), "abcdef", 6), 6);
    char buffer[16] = {};
    EXPECT_EQ(base.Recv(server.Fd(), buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(base.Recv(server.Fd(), buffer, sizeof buffer), 2);

    client.Reset();
    EXPECT_EQ(base.Recv(server.Fd(), buffer, sizeof buffer), 0);

    // Writing to a peer that is gone fails with code 2 and never raises SIGPIPE.
    CSocketError error("", 0);
    bool failed = false;
    for (int i = 0; i < 100 && !failed; ++i) {
        try {
            base.Send(server.Fd(), "0123456789", 10);
        } catch (const CSocketError& e) {
            error = e;
            failed = true;
        }
    }
    ASSERT_TRUE(failed);
    EXPECT_EQ(error.GetCode(), 2);
    EXPECT_STREQ(error.what(), "CBaseSocket::Send: SendData Error!");

    const CSocketError recv = CaughtError([&] { base.Recv(INVALID_SOCKET_HANDLE, buffer, 1); });
    EXPECT_EQ(recv.GetCode(), 3);
    EXPECT_STREQ(recv.what(), "CBaseSocket::Recv: ReceiveData Error!");
}

TEST(CBaseSocket, ListenOnAClosedSocketFails)
{
    CBaseSocket base(FAMILY_INET, SOCKET_STREAM, true, false);
    const CSocketError error = CaughtError([&] { base.Listen(); });
    EXPECT_EQ(error.GetCode(), 1);
    EXPECT_STREQ(error.what(), "(IPv4) Socket Listen Error!");
}
