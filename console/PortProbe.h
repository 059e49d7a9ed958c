#pragma once

#include <cstdint>

// Whether another program holds the TCP port: true unless a socket with the reuse option
// can be bound to it on the IPv4 any-address and, where IPv6 works, on the IPv6 one.
// Every failure counts as in use.
bool IsPortInUse(uint16_t port);
