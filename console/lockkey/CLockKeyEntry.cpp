#include "CLockKeyEntry.h"

#include "console/lockkey/CDriveFiles.h"
#include "console/lockkey/CUsbDiskList.h"
#include "keys/AsciiCase.h"

#include <cstddef>
#include <cstdint>

namespace {

ELockKeyFault FaultOf(const SDriveFile& file)
{
    switch (file.fault) {
    case EDriveFileFault::None:
        return ELockKeyFault::None;
    case EDriveFileFault::Missing:
    case EDriveFileFault::NotAFolder:
        return ELockKeyFault::NoKeyFile;
    case EDriveFileFault::LinkedFolder:
        return file.part == 0 ? ELockKeyFault::LinkedKeyFolder : ELockKeyFault::LinkedFolder;
    case EDriveFileFault::LinkedFile:
        return ELockKeyFault::LinkedKeyFile;
    case EDriveFileFault::Folder:
        return ELockKeyFault::NotAFile;
    case EDriveFileFault::DeviceNode:
        return ELockKeyFault::DeviceNode;
    case EDriveFileFault::FifoOrSocket:
        return ELockKeyFault::FifoOrSocket;
    case EDriveFileFault::OtherFileSystem:
        return ELockKeyFault::OffTheStick;
    case EDriveFileFault::Unreadable:
        break;
    }
    return ELockKeyFault::Unreadable;
}

// Reads the first count bytes of the key file.
ELockKeyFault ReadHead(const CFileDescriptor& file, uint8_t* bytes, size_t count)
{
    size_t done = 0;
    while (done < count) {
        const std::ptrdiff_t got = file.Read(bytes + done, count - done);
        if (got <= 0) {
            return got == 0 ? ELockKeyFault::TooShort : ELockKeyFault::Unreadable;
        }
        done += static_cast<size_t>(got);
    }
    return ELockKeyFault::None;
}

} // namespace

void CLockKeyEntry::SetPath(std::string_view keyFilePath)
{
    path = keyFilePath;
    id.clear();
    driveLetter.clear();
    if (path.empty()) {
        return;
    }
    driveLetter = path.substr(0, 1);
    if (path.size() < 3 || path.compare(3, kFolderPrefix.size(), kFolderPrefix) != 0) {
        return;
    }
    const size_t lastSeparator = path.rfind('\\');
    id = path.substr(lastSeparator == std::string::npos ? 0 : lastSeparator + 1);
    if (id.size() != kIdLength) {
        id.clear();
        driveLetter.clear();
    }
    id = UpperAscii(id);

    const auto usbId = driveLetter.empty() ? std::optional<std::string>(std::string())
                                           : CUsbDiskList::GetUsbDeviceId(driveLetter[0], *m_system);
    deviceId = usbId.value_or(std::string());
    deviceIdKnown = usbId.has_value();
}

SLockKeyRead CLockKeyEntry::ReadKeyChecked() const
{
    // A key bound to an identity we cannot form would come out wrong without a sign; the
    // default record makes the console report the lock key as corrupt instead.
    if (!deviceIdKnown) {
        return {CKeyRecord(), ELockKeyFault::UnknownUsbIdentity};
    }
    const SDriveFile file = CDriveFiles(m_system->Drives()).OpenFile(path);
    uint8_t bytes[CKeyRecord::kKeyLength];
    const ELockKeyFault fault =
        file.fault == EDriveFileFault::None ? ReadHead(file.file, bytes, sizeof(bytes)) : FaultOf(file);
    if (fault != ELockKeyFault::None) {
        return {CKeyRecord(), fault};
    }
    SLockKeyRead read;
    read.record.SetKey(bytes);
    read.record.SetId(id);
    read.record.SetDeviceId(deviceId);
    read.record.OpenFromDevice();
    read.fault = id.empty() ? ELockKeyFault::NoId : ELockKeyFault::None;
    return read;
}
