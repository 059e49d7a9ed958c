#pragma once

#include "console/lockkey/CDriveTable.h"
#include "console/lockkey/CFileDescriptor.h"
#include "console/lockkey/EDriveFileFault.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// What became of a name in drive-letter form: the file when one was opened, else the
// fault and which part of the name it lies at (0 for the first below the drive's root).
struct SDriveFile
{
    CFileDescriptor file;
    EDriveFileFault fault = EDriveFileFault::None;
    size_t part = 0;
};

// Files named in drive-letter form (E:\dont_delete_00A0B0C0D0E0\00A0B0C0D0E0), found on the
// mount point of the letter. Every part of a name matches without regard to ASCII letter
// case, as it does on the drives the names come from. No name reaches beyond the drive:
// links are not followed, and folders and files on another file system are refused.
class CDriveFiles
{
public:
    explicit CDriveFiles(const CDriveTable& drives) : m_drives(&drives) {}

    // The names in the folder of the pattern that match its last part (wildcards * and ?),
    // files and folders alike, in directory order. Nothing when the drive or the folder is
    // missing or refused. Names that cannot be written in drive-letter form (holding \, *
    // or ?) are left out.
    std::vector<std::string> Search(std::string_view pattern) const;

    // Whether the name exists, as anything (fault None), without opening it; else why not.
    SDriveFile Locate(std::string_view drivePath) const;
    // Opens the regular file of the name for reading.
    SDriveFile OpenFile(std::string_view drivePath) const;

    static bool MatchesPattern(std::string_view name, std::string_view pattern);

private:
    const CDriveTable* m_drives;
};
