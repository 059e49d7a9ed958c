#pragma once

#include "console/lockkey/CBlockDevice.h"

#include <optional>
#include <string>
#include <vector>

// One drive letter and the mounted file system it stands for.
struct CDriveMount
{
    char letter = 0;
    std::string mountPoint;
    CBlockDevice device;
};

// The drive letters C to Z of the computer, read afresh on every call so that a stick
// pulled out since the last look is gone.
class CDriveTable
{
public:
    virtual ~CDriveTable() = default;

    // Drives in ascending letter order.
    virtual std::vector<CDriveMount> ReadDrives() const = 0;

    std::optional<CDriveMount> FindDrive(char letter) const;
};
