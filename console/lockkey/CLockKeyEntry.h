#pragma once

#include "console/lockkey/CStorageSystem.h"
#include "keys/CKeyRecord.h"

#include <string>
#include <string_view>

// Why the key of a lock key cannot be registered.
enum class ELockKeyFault
{
    None,               // the key can be registered
    UnknownUsbIdentity, // its stick has no USB identity that Windows would use
    NoKeyFile,          // the key file (or its drive) is gone
    NotAFile,           // the key file's name holds a folder, not a file
    DeviceNode,         // the key file's name holds a device node
    FifoOrSocket,       // the key file's name holds a FIFO or a socket
    LinkedKeyFile,      // the key file is a symbolic link
    LinkedKeyFolder,    // the key folder is a symbolic link
    LinkedFolder,       // a folder between the key folder and the key file is a symbolic link
    OffTheStick,        // the key folder or key file lies on another file system than the drive
    Unreadable,         // the key file cannot be opened or read
    TooShort,           // the key file holds fewer than 32 bytes
    NoId,               // the folder is not dont_delete_ and a 12-character ID in this case
};

// A key read from a lock key, and why it cannot be registered if it cannot.
struct SLockKeyRead
{
    CKeyRecord record;
    ELockKeyFault fault = ELockKeyFault::None;
};

// One lock key found on a drive: the key file's path in drive-letter form, the
// registration ID it is for, the USB identity of its drive and the drive letter.
class CLockKeyEntry
{
public:
    explicit CLockKeyEntry(const CStorageSystem& system = CStorageSystem::Default()) : m_system(&system) {}

    // Fills the entry from the path of a key file, L:\dont_delete_<ID>\<ID>.
    void SetPath(std::string_view keyFilePath);

    // The unbound key from the key file with the reason it cannot be registered. The record
    // is a default one (no key) when the file cannot be read, is shorter than 32 bytes, or
    // lies on a USB stick whose identity is not known: every fault but NoId; with NoId it
    // holds a key that the store refuses for its empty ID.
    SLockKeyRead ReadKeyChecked() const;

    // As the register dialog lists it: E:\00A0B0C0D0E0.
    std::string GetDisplayText() const { return driveLetter + ":\\" + id; }

    const std::string& GetPath() const { return path; }
    const std::string& GetId() const { return id; }
    const std::string& GetDeviceId() const { return deviceId; }
    const std::string& GetDriveLetter() const { return driveLetter; }
    // False when the drive lies on a USB storage disk whose identity cannot be known here.
    bool IsDeviceIdKnown() const { return deviceIdKnown; }

private:
    static constexpr std::string_view kFolderPrefix = "dont_delete_";
    static constexpr size_t kIdLength = 12;

    const CStorageSystem* m_system;
    std::string path;
    std::string id;
    std::string deviceId;
    std::string driveLetter;
    bool deviceIdKnown = true;
};
