#include "net/SocketErrors.h"

namespace ZiRez {

// getaddrinfo and getnameinfo answer with Winsock codes themselves.
int32_t WinsockCodeFromResolver(int resolverResult)
{
    return resolverResult;
}

int32_t SetLastSocketErrorFromResolver(int resolverResult)
{
    SetLastSocketError(resolverResult);
    return resolverResult;
}

} // namespace ZiRez
