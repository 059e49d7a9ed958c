#pragma once

#include <cstdint>

// A block device by its major and minor number, as the mount table and udev give it.
struct CBlockDevice
{
    uint32_t major = 0;
    uint32_t minor = 0;

    // The disk number that stands in for the Windows storage stack's: the kernel's own
    // encoding (major << 20 | minor), or -1 when it does not fit a signed 32-bit number.
    int32_t Number() const
    {
        if (major >= (1u << 11) || minor >= (1u << 20)) {
            return -1;
        }
        return static_cast<int32_t>(major << 20 | minor);
    }

    bool operator==(const CBlockDevice& other) const = default;
};
