#pragma once

#include "control/CVersionQuery.h"

#include <cstdint>

// The Windows version class that picks the firewall syntax: computed on first use and
// kept, except a class of 0, which is computed again next time.
class CWindowsVersion
{
public:
    explicit CWindowsVersion(CVersionQuery& query) : m_query(query) {}

    uint32_t WindowsVersionClass();
    // The class of a version: 1 Win32s, 2/4/8/16 Windows 9x, 32 NT 4, 64 2000, 128 XP,
    // 512 Server 2003, 256 Vista, 0x8000 any later NT, 0 unknown.
    static uint32_t Classify(const OsVersion& version);

private:
    CVersionQuery& m_query;
    uint32_t m_class = 0;
};
