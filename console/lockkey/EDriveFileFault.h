#pragma once

// Why a name below a drive's mount point cannot be used as it was asked for.
enum class EDriveFileFault
{
    None,
    Missing,         // there is no such name (or no such drive)
    NotAFolder,      // a name that must be a folder holds a file or a device
    LinkedFolder,    // a name that must be a folder is a symbolic link
    LinkedFile,      // the file's name is a symbolic link
    Folder,          // the file's name holds a folder
    DeviceNode,      // the file's name holds a device node
    FifoOrSocket,    // the file's name holds a FIFO or a socket
    OtherFileSystem, // the name is a mount point (another file system, or a bind mount) on the drive
    Unreadable,      // the name cannot be opened or examined
};
