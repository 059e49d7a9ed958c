#pragma once

#include "console/lockkey/CBlockDevice.h"

#include <string>
#include <string_view>
#include <vector>

// The lines of /proc/self/mountinfo that matter for drive letters, in file order.
class CMountInfo
{
public:
    struct Entry
    {
        CBlockDevice device;    // st_dev of the mounted file system (major 0: no block device)
        std::string root;       // the directory of the file system mounted here ("/" unless a bind mount)
        std::string mountPoint; // unescaped
        std::string fsType;
        std::string source; // unescaped
    };

    // Lines that cannot be parsed are left out.
    static std::vector<Entry> Parse(std::string_view text);
    // The kernel writes space, tab, newline and backslash as \ooo octal escapes.
    static std::string Unescape(std::string_view field);
};
