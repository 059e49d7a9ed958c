#pragma once

#include <cstdint>
#include <string>

namespace ZiRez {

// The thread's last socket error, as a Winsock code. Every failing call of this layer sets it.
int32_t GetLastSocketError();
void SetLastSocketError(int32_t winsockCode);

// Sets the last socket error from errno (Linux only) / from a getaddrinfo() result and
// returns the code.
int32_t SetLastSocketErrorFromErrno(int errnoValue);
int32_t SetLastSocketErrorFromResolver(int resolverResult);

// Winsock code of an errno value (Linux only) or of a getaddrinfo() result; 0 when there is
// none.
int32_t WinsockCodeFromErrno(int errnoValue);
int32_t WinsockCodeFromResolver(int resolverResult);

// "NAME: description\n" for a Winsock code; "WSA_UNKNOWN: Unknown WSA error code\n" otherwise.
std::string ErrorTextOf(int32_t winsockCode);

} // namespace ZiRez
