#pragma once

#include "console/lockkey/CDriveTable.h"
#include "console/lockkey/linux/CMountInfo.h"

#include <string>
#include <vector>

// Drive letters over the mount table: C is the root file system; D to Z are the other
// file systems backed by a block device, in mount-table order, each device once, bind
// mounts of a sub-directory skipped.
class CMountInfoDriveTable : public CDriveTable
{
public:
    explicit CMountInfoDriveTable(std::string mountInfoPath = "/proc/self/mountinfo");

    std::vector<CDriveMount> ReadDrives() const override;

    static std::vector<CDriveMount> AssignLetters(const std::vector<CMountInfo::Entry>& mounts);

private:
    std::string m_path;
};
