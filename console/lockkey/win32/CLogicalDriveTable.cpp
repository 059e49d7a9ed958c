#include "console/lockkey/win32/CLogicalDriveTable.h"

#include "console/lockkey/win32/CSetupDiDeviceSource.h"
#include "platform/win32/Win32.h"

namespace {

// Past the numbers CBlockDevice can hold: a drive on no disk matches no disk.
constexpr uint32_t kNoDisk = 0xFFFFFFFFu;

} // namespace

std::vector<CDriveMount> CLogicalDriveTable::ReadDrives() const
{
    std::vector<CDriveMount> drives;
    const DWORD present = GetLogicalDrives();
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        if ((present & (1u << (letter - 'A'))) == 0) {
            continue;
        }
        CDriveMount drive;
        drive.letter = letter;
        drive.mountPoint = std::string(1, letter) + ":\\";
        const auto disk = CSetupDiDeviceSource::QueryDiskNumber(std::string("\\\\.\\") + letter + ":");
        drive.device = CBlockDevice{0, disk.value_or(kNoDisk)};
        drives.push_back(std::move(drive));
    }
    return drives;
}
