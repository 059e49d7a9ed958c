#include "CDriveTable.h"

#include <utility>

std::optional<CDriveMount> CDriveTable::FindDrive(char letter) const
{
    for (CDriveMount& drive : ReadDrives()) {
        if (drive.letter == letter) {
            return std::move(drive);
        }
    }
    return std::nullopt;
}
