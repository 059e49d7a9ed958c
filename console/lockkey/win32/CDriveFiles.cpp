#include "console/lockkey/CDriveFiles.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <fcntl.h>
#include <io.h>

// Names in drive-letter form are the system's own paths here: the directory search and the
// file system match them without regard to letter case.

namespace {

class CFindHandle
{
public:
    explicit CFindHandle(HANDLE handle) : m_handle(handle) {}
    ~CFindHandle()
    {
        if (m_handle != INVALID_HANDLE_VALUE) {
            FindClose(m_handle);
        }
    }
    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

bool IsDrivePath(std::string_view path)
{
    return path.size() >= 4 && path[1] == ':' && path[2] == '\\';
}

} // namespace

std::vector<std::string> CDriveFiles::Search(std::string_view pattern) const
{
    std::vector<std::string> matches;
    if (!IsDrivePath(pattern)) {
        return matches;
    }
    WIN32_FIND_DATAW found{};
    const CFindHandle search(FindFirstFileW(Platform::Widen(pattern).c_str(), &found));
    if (search.Get() == INVALID_HANDLE_VALUE) {
        return matches;
    }
    do {
        const std::wstring_view name(found.cFileName);
        if (name != L"." && name != L"..") {
            matches.push_back(Platform::Narrow(name));
        }
    } while (FindNextFileW(search.Get(), &found) != FALSE);
    return matches;
}

SDriveFile CDriveFiles::Locate(std::string_view drivePath) const
{
    SDriveFile result;
    const bool exists = IsDrivePath(drivePath) && drivePath.find_first_of("*?") == std::string_view::npos &&
                        GetFileAttributesW(Platform::Widen(drivePath).c_str()) != INVALID_FILE_ATTRIBUTES;
    result.fault = exists ? EDriveFileFault::None : EDriveFileFault::Missing;
    return result;
}

SDriveFile CDriveFiles::OpenFile(std::string_view drivePath) const
{
    SDriveFile result;
    result.part = 1;
    if (!IsDrivePath(drivePath) || drivePath.find_first_of("*?") != std::string_view::npos) {
        result.fault = EDriveFileFault::Missing;
        return result;
    }
    const std::wstring path = Platform::Widen(drivePath);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        result.fault = EDriveFileFault::Missing;
        return result;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        result.fault = EDriveFileFault::LinkedFile;
        return result;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        result.fault = EDriveFileFault::Folder;
        return result;
    }
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        result.fault = EDriveFileFault::Unreadable;
        return result;
    }
    // A name that opens a device (CON, a serial port) is never read from.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        result.fault = EDriveFileFault::DeviceNode;
        return result;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(file);
        result.fault = EDriveFileFault::Unreadable;
        return result;
    }
    result.file.Reset(descriptor);
    result.fault = EDriveFileFault::None;
    return result;
}
