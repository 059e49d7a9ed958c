#pragma once

#include <cstdint>
#include <functional>

namespace Harness {

// The ports the system hands to outgoing connections (linux/ reads the range from /proc,
// win32/ has Windows' dynamic range). A port a test picks from them can be taken by any
// connection on the machine before the service binds it; ports outside cannot.
struct SPortRange
{
    uint16_t low;
    uint16_t high;
};

SPortRange EphemeralPorts();

// A port from 1024 up outside the range for which isFree holds, the search starting at a
// place given by seed so that test programs running side by side try different ports; 0
// when none is free.
uint16_t PortOutside(SPortRange ephemeral, uint32_t seed, const std::function<bool(uint16_t)>& isFree);

} // namespace Harness
