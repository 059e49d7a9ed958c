#include "Ports.h"

#include <fstream>

namespace Harness {

SPortRange EphemeralPorts()
{
    unsigned low = 32768;
    unsigned high = 60999;
    std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> low >> high;
    return {static_cast<uint16_t>(low), static_cast<uint16_t>(high)};
}

} // namespace Harness
