#include "CSystemVersionQuery.h"

#include "platform/win32/Win32.h"

bool CSystemVersionQuery::Query(uint32_t structureSize, OsVersion& version)
{
    // The extended structure begins with the basic one; the size tells the system which.
    OSVERSIONINFOEXA info{};
    static_assert(sizeof(OSVERSIONINFOEXA) == kExtendedSize && sizeof(OSVERSIONINFOA) == kBasicSize);
    if (structureSize != kExtendedSize && structureSize != kBasicSize) {
        return false;
    }
    info.dwOSVersionInfoSize = structureSize;
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) == FALSE) {
        return false;
    }
    version.platformId = info.dwPlatformId;
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    version.build = info.dwBuildNumber;
    return true;
}
