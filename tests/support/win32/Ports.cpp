#include "Ports.h"

namespace Harness {

// Windows' dynamic range unless an administrator moved it (netsh int ipv4 set dynamicport).
SPortRange EphemeralPorts()
{
    return {49152, 65535};
}

} // namespace Harness
