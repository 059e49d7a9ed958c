#pragma once

#include <cstdint>

// The operating system's version numbers as Windows reports them.
struct OsVersion
{
    uint32_t platformId = 0;
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
};

// The Windows version query, asked with the size of the version structure the caller
// offers (156 bytes extended, 148 basic).
class CVersionQuery
{
public:
    static constexpr uint32_t kExtendedSize = 156;
    static constexpr uint32_t kBasicSize = 148;

    virtual ~CVersionQuery() = default;
    virtual bool Query(uint32_t structureSize, OsVersion& version) = 0;
};
