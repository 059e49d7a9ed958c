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

// Reads the first count bytes of a regular file; false when there are fewer. Opened
// without blocking so that a FIFO or device node of the key file's name cannot hang the
// console.
bool ReadHead(const std::string& hostPath, uint8_t* bytes, size_t count)
{
    const CFileDescriptor file(open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info
    {};
    if (file.Get() < 0 || fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    size_t done = 0;
    while (done < count) {
        const ssize_t got = read(file.Get(), bytes + done, count - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
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

CKeyRecord CLockKeyEntry::ReadKey() const
{
    // A key bound to an identity we cannot form would come out wrong without a sign; the
    // default record makes the console report the lock key as corrupt instead.
    if (!deviceIdKnown) {
        return CKeyRecord();
    }
    const auto hostPath = CDriveFiles(m_system->Drives()).HostPath(path);
    uint8_t bytes[CKeyRecord::kKeyLength];
    if (!hostPath || !ReadHead(*hostPath, bytes, sizeof(bytes))) {
        return CKeyRecord();
    }
    CKeyRecord record;
    record.SetKey(bytes);
    record.SetId(id);
    record.SetDeviceId(deviceId);
    record.OpenFromDevice();
    return record;
}
