#include "SocketHeaders.h"
#include "net/CBaseSocket.h"
#include "net/SocketErrors.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace ZiRez;

namespace {

// Every name with its standard Winsock value.
// clang-format off
const std::vector<std::pair<int32_t, std::string>> kWinsockNames = {
    {6, "WSA_INVALID_HANDLE"}, {8, "WSA_NOT_ENOUGH_MEMORY"}, {87, "WSA_INVALID_PARAMETER"},
    {995, "WSA_OPERATION_ABORTED"}, {996, "WSA_IO_INCOMPLETE"}, {997, "WSA_IO_PENDING"}, {10004, "WSAEINTR"},
    {10009, "WSAEBADF"}, {10013, "WSAEACCES"}, {10014, "WSAEFAULT"}, {10022, "WSAEINVAL"}, {10024, "WSAEMFILE"},
    {10035, "WSAEWOULDBLOCK"}, {10036, "WSAEINPROGRESS"}, {10037, "WSAEALREADY"}, {10038, "WSAENOTSOCK"},
    {10039, "WSAEDESTADDRREQ"}, {10040, "WSAEMSGSIZE"}, {10041, "WSAEPROTOTYPE"}, {10042, "WSAENOPROTOOPT"},
    {10043, "WSAEPROTONOSUPPORT"}, {10044, "WSAESOCKTNOSUPPORT"}, {10045, "WSAEOPNOTSUPP"},
    {10046, "WSAEPFNOSUPPORT"}, {10047, "WSAEAFNOSUPPORT"}, {10048, "WSAEADDRINUSE"}, {10049, "WSAEADDRNOTAVAIL"},
    {10050, "WSAENETDOWN"}, {10051, "WSAENETUNREACH"}, {10052, "WSAENETRESET"}, {10053, "WSAECONNABORTED"},
    {10054, "WSAECONNRESET"}, {10055, "WSAENOBUFS"}, {10056, "WSAEISCONN"}, {10057, "WSAENOTCONN"},
    {10058, "WSAESHUTDOWN"}, {10059, "WSAETOOMANYREFS"}, {10060, "WSAETIMEDOUT"}, {10061, "WSAECONNREFUSED"},
    {10062, "WSAELOOP"}, {10063, "WSAENAMETOOLONG"}, {10064, "WSAEHOSTDOWN"}, {10065, "WSAEHOSTUNREACH"},
    {10066, "WSAENOTEMPTY"}, {10067, "WSAEPROCLIM"}, {10068, "WSAEUSERS"}, {10069, "WSAEDQUOT"}, {10070, "WSAESTALE"},
    {10071, "WSAEREMOTE"}, {10091, "WSASYSNOTREADY"}, {10092, "WSAVERNOTSUPPORTED"}, {10093, "WSANOTINITIALISED"},
    {10101, "WSAEDISCON"}, {10102, "WSAENOMORE"}, {10103, "WSAECANCELLED"}, {10104, "WSAEINVALIDPROCTABLE"},
    {10105, "WSAEINVALIDPROVIDER"}, {10106, "WSAEPROVIDERFAILEDINIT"}, {10107, "WSASYSCALLFAILURE"},
    {10108, "WSASERVICE_NOT_FOUND"}, {10109, "WSATYPE_NOT_FOUND"}, {10110, "WSA_E_NO_MORE"},
    {10111, "WSA_E_CANCELLED"}, {10112, "WSAEREFUSED"}, {11001, "WSAHOST_NOT_FOUND"}, {11002, "WSATRY_AGAIN"},
    {11003, "WSANO_RECOVERY"}, {11004, "WSANO_DATA"}, {11005, "WSA_QOS_RECEIVERS"}, {11006, "WSA_QOS_SENDERS"},
    {11007, "WSA_QOS_NO_SENDERS"}, {11008, "WSA_QOS_NO_RECEIVERS"}, {11009, "WSA_QOS_REQUEST_CONFIRMED"},
    {11010, "WSA_QOS_ADMISSION_FAILURE"}, {11011, "WSA_QOS_POLICY_FAILURE"}, {11012, "WSA_QOS_BAD_STYLE"},
    {11013, "WSA_QOS_BAD_OBJECT"}, {11014, "WSA_QOS_TRAFFIC_CTRL_ERROR"}, {11015, "WSA_QOS_GENERIC_ERROR"},
    {11016, "WSA_QOS_ESERVICETYPE"}, {11017, "WSA_QOS_EFLOWSPEC"}, {11018, "WSA_QOS_EPROVSPECBUF"},
    {11019, "WSA_QOS_EFILTERSTYLE"}, {11020, "WSA_QOS_EFILTERTYPE"}, {11021, "WSA_QOS_EFILTERCOUNT"},
    {11022, "WSA_QOS_EOBJLENGTH"}, {11023, "WSA_QOS_EFLOWCOUNT"}, {11024, "WSA_QOS_EUNKOWNPSOBJ"},
    {11025, "WSA_QOS_EPOLICYOBJ"}, {11026, "WSA_QOS_EFLOWDESC"}, {11027, "WSA_QOS_EPSFLOWSPEC"},
    {11028, "WSA_QOS_EPSFILTERSPEC"}, {11029, "WSA_QOS_ESDMODEOBJ"}, {11030, "WSA_QOS_ESHAPERATEOBJ"},
    {11031, "WSA_QOS_RESERVED_PETYPE"}};
// clang-format on

const std::string kUnknown = "WSA_UNKNOWN: Unknown WSA error code\n";

} // namespace

TEST(ErrorText, EveryNameIsKeyedByItsWinsockValue)
{
    ASSERT_EQ(kWinsockNames.size(), 95U);
    for (const auto& [code, name] : kWinsockNames) {
        const std::string text = ErrorTextOf(code);
        SCOPED_TRACE(name);
        EXPECT_EQ(text.rfind(name + ": ", 0), 0U) << text;
        EXPECT_GT(text.size(), name.size() + 3);
        EXPECT_EQ(text.back(), '\n');
        EXPECT_EQ(text.find('\n'), text.size() - 1);
    }
}

TEST(ErrorText, QuotedTextsAreExact)
{
    const std::pair<int32_t, const char*> quoted[] = {
        {10048, "WSAEADDRINUSE: Address already in use.\n"},
        {10061, "WSAECONNREFUSED: Connection refused.\n"},
        {11001, "WSAHOST_NOT_FOUND: Host not found.\n"},
        {10101, "WSAEDISCON: Graceful shutdown in progress.\n"},
        {10062, "WSAELOOP: Cannot translate name.\n"},
        {11024, "WSA_QOS_EUNKOWNPSOBJ: Unrecognized QOS object.\n"},
        {10093, "WSANOTINITIALISED: Successful WSAStartup not yet performed.\n"},
    };
    for (const auto& [code, text] : quoted) {
        EXPECT_EQ(ErrorTextOf(code), text);
    }
}

TEST(ErrorText, CodesBesideTheTableGiveTheUnknownText)
{
    for (int32_t code : {0, -1, 1, 7, 86, 994, 998, 10000, 10003, 10072, 10090, 10100, 10113, 11000, 11032, 99999}) {
        EXPECT_EQ(ErrorTextOf(code), kUnknown) << code;
    }
}

TEST(ErrorText, GetErrorTextFollowsTheThreadsLastError)
{
    SetLastSocketError(10061);
    EXPECT_EQ(CBaseSocket::GetErrorText(), "WSAECONNREFUSED: Connection refused.\n");
    SetLastSocketError(4242);
    EXPECT_EQ(CBaseSocket::GetErrorText(), kUnknown);
}

TEST(ErrorText, ResolverErrorsMapOntoHostNotFoundAndItsNeighbours)
{
    const std::pair<int, int32_t> rows[] = {
        {EAI_NONAME, 11001}, {EAI_AGAIN, 11002}, {EAI_FAIL, 11003}, {EAI_NODATA, 11004}, {0, 0}};
    for (const auto& [result, code] : rows) {
        EXPECT_EQ(WinsockCodeFromResolver(result), code) << result;
    }
    SetLastSocketErrorFromResolver(EAI_NONAME);
    EXPECT_EQ(CBaseSocket::GetErrorText(), "WSAHOST_NOT_FOUND: Host not found.\n");
}

TEST(ErrorText, LastErrorBelongsToTheThread)
{
    SetLastSocketError(10048);
    int32_t seenElsewhere = -1;
    std::thread other([&] { seenElsewhere = GetLastSocketError(); });
    other.join();
    EXPECT_EQ(seenElsewhere, 0);
    EXPECT_EQ(GetLastSocketError(), 10048);
}
