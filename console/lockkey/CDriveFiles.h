#pragma once

#include "console/lockkey/CDriveTable.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Files named in drive-letter form (E:\dont_delete_00A0B0C0D0E0\00A0B0C0D0E0), found on the
// mount point of the letter. Every part of a name matches without regard to ASCII letter
// case, as it does on the drives the names come from.
class CDriveFiles
{
public:
    explicit CDriveFiles(const CDriveTable& drives) : m_drives(&drives) {}

    // The names in the folder of the pattern that match its last part (wildcards * and ?),
    // files and folders alike, in directory order. Nothing when the drive or the folder is
    // missing. Names that cannot be written in drive-letter form (holding \, * or ?) are
    // left out.
    std::vector<std::string> Search(std::string_view pattern) const;

    // The file-system path of an existing file or folder named in drive-letter form; an
    // exact name wins over one that differs only in letter case.
    std::optional<std::string> HostPath(std::string_view drivePath) const;

    static bool MatchesPattern(std::string_view name, std::string_view pattern);

private:
    // The mount point of the letter of "L:\..."; nullopt for a malformed path or a missing drive.
    std::optional<std::string> MountPointOf(std::string_view drivePath) const;

    const CDriveTable* m_drives;
};
