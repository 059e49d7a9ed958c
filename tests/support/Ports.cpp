#include "Ports.h"

namespace Harness {

uint16_t PortOutside(SPortRange ephemeral, uint32_t seed, const std::function<bool(uint16_t)>& isFree)
{
    constexpr uint32_t kFirst = 1024;
    constexpr uint32_t kCount = 65536 - kFirst;
    for (uint32_t step = 0; step < kCount; ++step) {
        const auto port = static_cast<uint16_t>(kFirst + (seed + step) % kCount);
        if ((port < ephemeral.low || port > ephemeral.high) && isFree(port)) {
            return port;
        }
    }
    return 0;
}

} // namespace Harness
