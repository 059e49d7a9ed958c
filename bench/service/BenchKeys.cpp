#include "BenchKeys.h"

#include "Wire.h"

#include <cstdio>
#include <cstring>

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
    const std::string sealed =
        Wire::Seal(std::string_view(reinterpret_cast<const char*>(key.data()), key.size()), id, mask);
    LockKey bytes;
    std::memcpy(bytes.data(), sealed.data(), bytes.size());
    return bytes;
}
