#include "CWindowsVersion.h"

namespace {

constexpr uint32_t kPlatformWin32s = 0;
constexpr uint32_t kPlatformWindows9x = 1;
constexpr uint32_t kPlatformNt = 2;
// Windows 98 Second Edition and later 98 builds.
constexpr uint32_t kWindows98SecondBuild = 0x040A08AE;

uint32_t ClassifyWindows9x(const OsVersion& version)
{
    // On these systems the build field carries the minor version in bits 16 to 23.
    switch ((version.build >> 16) & 0xFF) {
    case 0:
    case 3:
        return 2;
    case 10:
        return version.build < kWindows98SecondBuild ? 4 : 8;
    case 90:
        return 16;
    default:
        return 0;
    }
}

uint32_t ClassifyNt(const OsVersion& version)
{
    if (version.major == 4) {
        return 32;
    }
    if (version.major == 5) {
        switch (version.minor) {
        case 0:
            return 64;
        case 1:
            return 128;
        case 2:
            return 512;
        default:
            return 0x8000;
        }
    }
    return version.major == 6 && version.minor == 0 ? 256 : 0x8000;
}

} // namespace

uint32_t CWindowsVersion::WindowsVersionClass()
{
    if (m_class != 0) {
        return m_class;
    }
    OsVersion version;
    if (m_query.Query(CVersionQuery::kExtendedSize, version) || m_query.Query(CVersionQuery::kBasicSize, version)) {
        m_class = Classify(version);
    }
    return m_class;
}

uint32_t CWindowsVersion::Classify(const OsVersion& version)
{
    switch (version.platformId) {
    case kPlatformWin32s:
        return 1;
    case kPlatformWindows9x:
        return ClassifyWindows9x(version);
    case kPlatformNt:
        return ClassifyNt(version);
    default:
        return 0;
    }
}
