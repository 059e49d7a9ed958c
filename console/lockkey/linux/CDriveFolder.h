#pragma once

#include "console/lockkey/CFileDescriptor.h"
#include "console/lockkey/EDriveFileFault.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

struct stat;

// A folder on a drive, reached from the drive's mount point one name at a time without
// following a symbolic link and without leaving the mount point's file system, so that
// nothing a stick holds can name a file elsewhere. Names match without regard to ASCII
// letter case; an exact name wins over one that differs only in case.
class CDriveFolder
{
public:
    // The mount point itself; Fault() says whether it could be opened.
    explicit CDriveFolder(const std::string& mountPoint);

    EDriveFileFault Fault() const { return m_fault; }

    // Steps into the sub-folder of the name; the folder stays where it was on a fault.
    EDriveFileFault Enter(std::string_view name);
    // The names in the folder in directory order, without . and ..; nothing when it
    // cannot be read.
    std::vector<std::string> List() const;
    // Whether the folder holds the name, as anything.
    bool Holds(std::string_view name) const { return NameOf(name).has_value(); }
    // Opens the regular file of the name for reading. A link, folder, device, FIFO or
    // socket is refused from a handle that cannot read or write, so none is ever opened.
    EDriveFileFault OpenFile(std::string_view name, CFileDescriptor& file) const;

private:
    // The real name of the entry that the name stands for.
    std::optional<std::string> NameOf(std::string_view name) const;
    // A handle of the entry that can only be examined, and what it is.
    EDriveFileFault OpenHandle(std::string_view name, CFileDescriptor& handle, struct stat& info) const;

    CFileDescriptor m_folder;
    dev_t m_device = 0;
    EDriveFileFault m_fault = EDriveFileFault::None;
};
