#include "BenchKeys.h"

#include <cstdio>

std::string BenchId(size_t unit)
{
    char text[16];
    std::snprintf(text, sizeof text, "00A0B0%06zX", unit & 0xFFFFFF);
    return text;
}

LockKey BenchKey(size_t unit, uint32_t generation)
{
    CFastRandom random(unit * 7919 + generation * 104729 + 17);
    LockKey key;
    for (uint8_t& byte : key) {
        byte = static_cast<uint8_t>(random.Next() >> 56);
    }
    return key;
}

LockKey SealForTransfer(const LockKey& key, std::string_view id, std::string_view mask)
{
    LockKey sealed = key;
    for (size_t i = 0; i < sealed.size(); ++i) {
        if (!id.empty()) {
            sealed[i] = static_cast<uint8_t>(sealed[i] + static_cast<uint8_t>(id[i % id.size()]));
        }
        if (!mask.empty()) {
            sealed[i] = static_cast<uint8_t>(sealed[i] + static_cast<uint8_t>(mask[i % mask.size()]));
        }
    }
    return sealed;
}
