#include "PortProbe.h"

#include "net/CBaseSocket.h"
#include "net/StackProbe.h"

#include <arpa/inet.h>
#include <netinet/in.h>

bool IsPortInUse(uint16_t port)
{
    try {
        ZiRez::CBaseSocket socket(ZiRez::FAMILY_UNSPEC, ZiRez::SOCKET_STREAM, ZiRez::IsIPv4Available(),
                                  ZiRez::IsIPv6Available());
        socket.Open();
        socket.SetOption(ZiRez::OPTION_REUSEADDR);
        sockaddr_in any4{};
        any4.sin_family = AF_INET;
        any4.sin_port = htons(port);
        any4.sin_addr.s_addr = htonl(INADDR_ANY);
        socket.Bind(reinterpret_cast<const sockaddr*>(&any4), sizeof any4);
        // The key service listens on IPv6 as well and stops when it cannot: a port another
        // program holds there only is in use too.
        if (socket.IPv6Available()) {
            sockaddr_in6 any6{};
            any6.sin6_family = AF_INET6;
            any6.sin6_port = htons(port);
            any6.sin6_addr = in6addr_any;
            socket.Bind(reinterpret_cast<const sockaddr*>(&any6), sizeof any6);
        }
        return false;
    } catch (...) {
        return true;
    }
}
