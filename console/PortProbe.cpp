#include "PortProbe.h"

#include "net/AddressResolution.h"
#include "net/CBaseSocket.h"
#include "net/CWinsockSession.h"
#include "net/StackProbe.h"

#include <optional>

namespace {

// Binds the socket to the any-address of the text's family and the port.
void BindAny(ZiRez::CBaseSocket& socket, const char* anyAddress, size_t length, uint16_t port)
{
    alignas(8) unsigned char address[ZiRez::ADDRESS_STORE_SIZE] = {};
    ZiRez::NetStringToAddress(address, anyAddress, port);
    socket.Bind(reinterpret_cast<const sockaddr*>(address), length);
}

} // namespace

bool IsPortInUse(uint16_t port)
{
    // A socket library that cannot start finds every port free.
    std::optional<ZiRez::CWinsockSession> sockets;
    try {
        sockets.emplace();
    } catch (...) {
        return false;
    }
    try {
        ZiRez::CBaseSocket socket(ZiRez::FAMILY_UNSPEC, ZiRez::SOCKET_STREAM, ZiRez::IsIPv4Available(),
                                  ZiRez::IsIPv6Available());
        socket.Open();
        socket.SetOption(ZiRez::OPTION_REUSEADDR);
        BindAny(socket, "0.0.0.0", ZiRez::IPV4_ADDRESS_SIZE, port);
        // The key service listens on IPv6 as well and stops when it cannot: a port another
        // program holds there only is in use too.
        if (socket.IPv6Available()) {
            BindAny(socket, "::", ZiRez::IPV6_ADDRESS_SIZE, port);
        }
        return false;
    } catch (...) {
        return true;
    }
}
