#pragma once

#include "console/lockkey/CDriveTable.h"

// The drive letters C to Z that the system has now, each with the disk the storage stack
// says holds it (none for a drive on no disk: a network share, a folder mapped to a
// letter). The drive's root is its own mount point.
class CLogicalDriveTable : public CDriveTable
{
public:
    std::vector<CDriveMount> ReadDrives() const override;
};
