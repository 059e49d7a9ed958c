#include "net/SocketErrors.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace ZiRez {

namespace {

thread_local int32_t t_lastSocketError = 0;

struct ErrorRow
{
    int32_t code;
    std::string_view text;
};

// Ascending by code, keyed by the Winsock value of each name.
constexpr std::array<ErrorRow, 95> kErrorRows{{
    {6, "WSA_INVALID_HANDLE: Specified event object handle is invalid.\n"},
    {8, "WSA_NOT_ENOUGH_MEMORY: Insufficient memory available.\n"},
    {87, "WSA_INVALID_PARAMETER: One or more parameters are invalid.\n"},
    {995, "WSA_OPERATION_ABORTED: Overlapped operation aborted.\n"},
    {996, "WSA_IO_INCOMPLETE: Overlapped I/O event object not in signaled state.\n"},
    {997, "WSA_IO_PENDING: Overlapped operations will complete later.\n"},
    {10004, "WSAEINTR: Interrupted function call.\n"},
    {10009, "WSAEBADF: File handle is not valid.\n"},
    {10013, "WSAEACCES: Permission denied.\n"},
    {10014, "WSAEFAULT: Bad address.\n"},
    {10022, "WSAEINVAL: Invalid argument.\n"},
    {10024, "WSAEMFILE: Too many open files.\n"},
    {10035, "WSAEWOULDBLOCK: Resource temporarily unavailable.\n"},
    {10036, "WSAEINPROGRESS: Operation now in progress.\n"},
    {10037, "WSAEALREADY: Operation already in progress.\n"},
    {10038, "WSAENOTSOCK: Socket operation on nonsocket.\n"},
    {10039, "WSAEDESTADDRREQ: Destination address required.\n"},
    {10040, "WSAEMSGSIZE: Message too long.\n"},
    {10041, "WSAEPROTOTYPE: Protocol wrong type for socket.\n"},
    {10042, "WSAENOPROTOOPT: Bad protocol option.\n"},
    {10043, "WSAEPROTONOSUPPORT: Protocol not supported.\n"},
    {10044, "WSAESOCKTNOSUPPORT: Socket type not supported.\n"},
    {10045, "WSAEOPNOTSUPP: Operation not supported.\n"},
    {10046, "WSAEPFNOSUPPORT: Protocol family not supported.\n"},
    {10047, "WSAEAFNOSUPPORT: Address family not supported by protocol family.\n"},
    {10048, "WSAEADDRINUSE: Address already in use.\n"},
    {10049, "WSAEADDRNOTAVAIL: Cannot assign requested address.\n"},
    {10050, "WSAENETDOWN: Network is down.\n"},
    {10051, "WSAENETUNREACH: Network is unreachable.\n"},
    {10052, "WSAENETRESET: Network dropped connection on reset.\n"},
    {10053, "WSAECONNABORTED: Software caused connection abort.\n"},
    {10054, "WSAECONNRESET: Connection reset by peer.\n"},
    {10055, "WSAENOBUFS: No buffer space available.\n"},
    {10056, "WSAEISCONN: Socket is already connected.\n"},
    {10057, "WSAENOTCONN: Socket is not connected.\n"},
    {10058, "WSAESHUTDOWN: Cannot send after socket shutdown.\n"},
    {10059, "WSAETOOMANYREFS: Too many references.\n"},
    {10060, "WSAETIMEDOUT: Connection timed out.\n"},
    {10061, "WSAECONNREFUSED: Connection refused.\n"},
    {10062, "WSAELOOP: Cannot translate name.\n"},
    {10063, "WSAENAMETOOLONG: Name too long.\n"},
    {10064, "WSAEHOSTDOWN: Host is down.\n"},
    {10065, "WSAEHOSTUNREACH: No route to host.\n"},
    {10066, "WSAENOTEMPTY: Directory not empty.\n"},
    {10067, "WSAEPROCLIM: Too many processes.\n"},
    {10068, "WSAEUSERS: User quota exceeded.\n"},
    {10069, "WSAEDQUOT: Disk quota exceeded.\n"},
    {10070, "WSAESTALE: Stale file handle reference.\n"},
    {10071, "WSAEREMOTE: Item is remote.\n"},
    {10091, "WSASYSNOTREADY: Network subsystem is unavailable.\n"},
    {10092, "WSAVERNOTSUPPORTED: Winsock.dll version out of range.\n"},
    {10093, "WSANOTINITIALISED: Successful WSAStartup not yet performed.\n"},
    {10101, "WSAEDISCON: Graceful shutdown in progress.\n"},
    {10102, "WSAENOMORE: No more results.\n"},
    {10103, "WSAECANCELLED: Call has been canceled.\n"},
    {10104, "WSAEINVALIDPROCTABLE: Procedure call table is invalid.\n"},
    {10105, "WSAEINVALIDPROVIDER: Service provider is invalid.\n"},
    {10106, "WSAEPROVIDERFAILEDINIT: Service provider failed to initialize.\n"},
    {10107, "WSASYSCALLFAILURE: System call failure.\n"},
    {10108, "WSASERVICE_NOT_FOUND: Service not found.\n"},
    {10109, "WSATYPE_NOT_FOUND: Class type not found.\n"},
    {10110, "WSA_E_NO_MORE: No more results.\n"},
    {10111, "WSA_E_CANCELLED: Call was canceled.\n"},
    {10112, "WSAEREFUSED: Database query was refused.\n"},
    {11001, "WSAHOST_NOT_FOUND: Host not found.\n"},
    {11002, "WSATRY_AGAIN: Nonauthoritative host not found.\n"},
    {11003, "WSANO_RECOVERY: This is a nonrecoverable error.\n"},
    {11004, "WSANO_DATA: Valid name, no data record of requested type.\n"},
    {11005, "WSA_QOS_RECEIVERS: QOS receivers.\n"},
    {11006, "WSA_QOS_SENDERS: QOS senders.\n"},
    {11007, "WSA_QOS_NO_SENDERS: No QOS senders.\n"},
    {11008, "WSA_QOS_NO_RECEIVERS: QOS no receivers.\n"},
    {11009, "WSA_QOS_REQUEST_CONFIRMED: QOS request confirmed.\n"},
    {11010, "WSA_QOS_ADMISSION_FAILURE: QOS admission error.\n"},
    {11011, "WSA_QOS_POLICY_FAILURE: QOS policy failure.\n"},
    {11012, "WSA_QOS_BAD_STYLE: QOS bad style.\n"},
    {11013, "WSA_QOS_BAD_OBJECT: QOS bad object.\n"},
    {11014, "WSA_QOS_TRAFFIC_CTRL_ERROR: QOS traffic control error.\n"},
    {11015, "WSA_QOS_GENERIC_ERROR: QOS generic error.\n"},
    {11016, "WSA_QOS_ESERVICETYPE: QOS service type error.\n"},
    {11017, "WSA_QOS_EFLOWSPEC: QOS flowspec error.\n"},
    {11018, "WSA_QOS_EPROVSPECBUF: Invalid QOS provider buffer.\n"},
    {11019, "WSA_QOS_EFILTERSTYLE: Invalid QOS filter style.\n"},
    {11020, "WSA_QOS_EFILTERTYPE: Invalid QOS filter type.\n"},
    {11021, "WSA_QOS_EFILTERCOUNT: Incorrect QOS filter count.\n"},
    {11022, "WSA_QOS_EOBJLENGTH: Invalid QOS object length.\n"},
    {11023, "WSA_QOS_EFLOWCOUNT: Incorrect QOS flow count.\n"},
    {11024, "WSA_QOS_EUNKOWNPSOBJ: Unrecognized QOS object.\n"},
    {11025, "WSA_QOS_EPOLICYOBJ: Invalid QOS policy object.\n"},
    {11026, "WSA_QOS_EFLOWDESC: Invalid QOS flow descriptor.\n"},
    {11027, "WSA_QOS_EPSFLOWSPEC: Invalid QOS provider-specific flowspec.\n"},
    {11028, "WSA_QOS_EPSFILTERSPEC: Invalid QOS provider-specific filterspec.\n"},
    {11029, "WSA_QOS_ESDMODEOBJ: Invalid QOS shape discard mode object.\n"},
    {11030, "WSA_QOS_ESHAPERATEOBJ: Invalid QOS shaping rate object.\n"},
    {11031, "WSA_QOS_RESERVED_PETYPE: Reserved policy QOS element type.\n"},
}};

constexpr std::string_view kUnknownText = "WSA_UNKNOWN: Unknown WSA error code\n";

} // namespace

int32_t GetLastSocketError()
{
    return t_lastSocketError;
}

void SetLastSocketError(int32_t winsockCode)
{
    t_lastSocketError = winsockCode;
}

std::string ErrorTextOf(int32_t winsockCode)
{
    const auto row = std::lower_bound(kErrorRows.begin(), kErrorRows.end(), winsockCode,
                                      [](const ErrorRow& r, int32_t code) { return r.code < code; });
    if (row != kErrorRows.end() && row->code == winsockCode) {
        return std::string(row->text);
    }
    return std::string(kUnknownText);
}

} // namespace ZiRez
