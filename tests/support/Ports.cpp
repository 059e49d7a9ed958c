#include "Ports.h"

#include <algorithm>

namespace Harness {

uint16_t PortOutside(SPortRange ephemeral, uint32_t seed, const std::function<bool(uint16_t)>& isFree)
{
    // The ports below and above the range, numbered 0..count-1, so that every seed is
    // as likely to start on any of them (seeds that fell inside the range would all
    // start on the first port above it, where programs side by side would meet).
    constexpr uint32_t kFirst = 1024;
    constexpr uint32_t kLast = 65535;
    const uint32_t low = std::clamp<uint32_t>(ephemeral.low, kFirst, kLast + 1);
    const uint32_t high = std::clamp<uint32_t>(ephemeral.high, low - 1, kLast);
    const uint32_t below = low - kFirst;
    const uint32_t count = below + (kLast - high);
    for (uint32_t step = 0; step < count; ++step) {
        const uint32_t index = (seed % count + step) % count;
        const auto port = static_cast<uint16_t>(index < below ? kFirst + index : high + 1 + (index - below));
        if (isFree(port)) {
            return port;
        }
    }
    return 0;
}

} // namespace Harness
