#include "CLockKeyEntry.h"

#include "console/lockkey/CDriveFiles.h"
#include "console/lockkey/CUsbDiskList.h"
#include "settings/AsciiCase.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CFileDescriptor
{
public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor()
    {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// Reads the first count bytes of a regular file. Opened without blocking so that a FIFO or
// device node of the key file's name cannot hang the console.
ELockKeyFault ReadHead(const std::string& hostPath, uint8_t* bytes, size_t count)
{
    const CFileDescriptor file(open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.Get() < 0) {
        return errno == ENOENT || errno == ENOTDIR ? ELockKeyFault::NoKeyFile : ELockKeyFault::Unreadable;
    }
    struct stat info
    {};
    if (fstat(file.Get(), &info) != 0) {
        return ELockKeyFault::Unreadable;
    }
    if (!S_ISREG(info.st_mode)) {
        return ELockKeyFault::NotAFile;
    }
    size_t done = 0;
    while (done < count) {
        const ssize_t got = read(file.Get(), bytes + done, count - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
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
    const auto hostPath = CDriveFiles(m_system->Drives()).HostPath(path);
    if (!hostPath) {
        return {CKeyRecord(), ELockKeyFault::NoKeyFile};
    }
    uint8_t bytes[CKeyRecord::kKeyLength];
    const ELockKeyFault fault = ReadHead(*hostPath, bytes, sizeof(bytes));
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
