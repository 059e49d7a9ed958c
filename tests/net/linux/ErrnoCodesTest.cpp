// The Winsock codes of the errno values of Linux's socket calls.
#include "net/SocketErrors.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <utility>

using namespace ZiRez;

TEST(ErrorText, SystemErrorsMapOntoWinsockCodes)
{
    const std::pair<int, int32_t> rows[] = {
        {EADDRINUSE, 10048},   {ECONNREFUSED, 10061},  {ECONNRESET, 10054},  {ETIMEDOUT, 10060},
        {EAGAIN, 10035},       {EINPROGRESS, 10036},   {ENOTSOCK, 10038},    {EBADF, 10009},
        {EMFILE, 10024},       {EINVAL, 10022},        {EACCES, 10013},      {ENOPROTOOPT, 10042},
        {EAFNOSUPPORT, 10047}, {EADDRNOTAVAIL, 10049}, {ENETUNREACH, 10051}, {EHOSTUNREACH, 10065},
        {ENOTCONN, 10057},     {ECONNABORTED, 10053},  {EINTR, 10004},
    };
    for (const auto& [error, code] : rows) {
        EXPECT_EQ(WinsockCodeFromErrno(error), code) << error;
    }
    // An error with no Winsock counterpart reads as unknown.
    EXPECT_EQ(ErrorTextOf(SetLastSocketErrorFromErrno(ENOEXEC)), "WSA_UNKNOWN: Unknown WSA error code\n");
}
