#include "console/lockkey/linux/CDriveFolder.h"

#include "keys/AsciiCase.h"

#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct DirCloser
{
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

// A name of one entry: never empty, . or .., and never holding a / that would reach
// further than the folder.
bool IsEntryName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

// Opens one entry of the folder as a handle that can only be examined (O_PATH), never
// following a link. openat2 refuses every link, anything outside the folder and any mount
// point, a bind mount from the stick's own file system included (EXDEV); a kernel without
// it (ENOSYS) gets openat with O_NOFOLLOW, which is as strict for a single name except that
// only a mount of another file system is then told apart (by its device number).
int OpenEntry(int folder, const std::string& name)
{
    static std::atomic<bool> withoutOpenat2{false};
    const int flags = O_PATH | O_NOFOLLOW | O_CLOEXEC;
    if (!withoutOpenat2.load(std::memory_order_relaxed)) {
        open_how how{};
        how.flags = flags;
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_XDEV;
        const long fd = syscall(SYS_openat2, folder, name.c_str(), &how, sizeof how);
        if (fd >= 0 || errno != ENOSYS) {
            return static_cast<int>(fd);
        }
        withoutOpenat2.store(true, std::memory_order_relaxed);
    }
    return openat(folder, name.c_str(), flags);
}

EDriveFileFault FaultOfOpen(int error)
{
    switch (error) {
    case ENOENT:
        return EDriveFileFault::Missing;
    case ENOTDIR:
        return EDriveFileFault::NotAFolder;
    case ELOOP:
        return EDriveFileFault::LinkedFile;
    case EXDEV:
        return EDriveFileFault::OtherFileSystem;
    default:
        return EDriveFileFault::Unreadable;
    }
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

CDriveFolder::CDriveFolder(const std::string& mountPoint)
{
    // The mount point comes from the mount table, not from the drive: it may be reached by
    // any path. Below it nothing is followed.
    m_folder.Reset(open(mountPoint.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat info
    {};
    if (!m_folder.IsOpen()) {
        m_fault = errno == ENOENT || errno == ENOTDIR ? EDriveFileFault::Missing : EDriveFileFault::Unreadable;
    } else if (fstat(m_folder.Get(), &info) != 0) {
        m_fault = EDriveFileFault::Unreadable;
    } else {
        m_device = info.st_dev;
    }
}

std::vector<std::string> CDriveFolder::List() const
{
    std::vector<std::string> names;
    if (m_fault != EDriveFileFault::None) {
        return names;
    }
    const int fd = openat(m_folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return names;
    }
    const DirPtr dir(fdopendir(fd));
    if (!dir) {
        close(fd);
        return names;
    }
    while (const dirent* entry = readdir(dir.get())) {
        if (IsEntryName(entry->d_name)) {
            names.emplace_back(entry->d_name);
        }
    }
    return names;
}

std::optional<std::string> CDriveFolder::NameOf(std::string_view name) const
{
    if (m_fault != EDriveFileFault::None || !IsEntryName(name)) {
        return std::nullopt;
    }
    const std::string exact(name);
    struct stat info
    {};
    if (fstatat(m_folder.Get(), exact.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        return exact;
    }
    const std::string folded = LowerAscii(name);
    for (std::string& entry : List()) {
        if (LowerAscii(entry) == folded) {
            return std::move(entry);
        }
    }
    return std::nullopt;
}

EDriveFileFault CDriveFolder::OpenHandle(std::string_view name, CFileDescriptor& handle, struct stat& info) const
{
    const auto real = NameOf(name);
    if (!real) {
        return m_fault != EDriveFileFault::None ? m_fault : EDriveFileFault::Missing;
    }
    handle.Reset(OpenEntry(m_folder.Get(), *real));
    if (!handle.IsOpen()) {
        return FaultOfOpen(errno);
    }
    if (fstat(handle.Get(), &info) != 0) {
        return EDriveFileFault::Unreadable;
    }
    if (S_ISLNK(info.st_mode)) {
        return EDriveFileFault::LinkedFile;
    }
    return info.st_dev == m_device ? EDriveFileFault::None : EDriveFileFault::OtherFileSystem;
}

EDriveFileFault CDriveFolder::Enter(std::string_view name)
{
    CFileDescriptor handle;
    struct stat info
    {};
    EDriveFileFault fault = OpenHandle(name, handle, info);
    if (fault == EDriveFileFault::LinkedFile) {
        return EDriveFileFault::LinkedFolder;
    }
    if (fault == EDriveFileFault::None && !S_ISDIR(info.st_mode)) {
        fault = EDriveFileFault::NotAFolder;
    }
    if (fault == EDriveFileFault::None) {
        m_folder = std::move(handle);
    }
    return fault;
}

EDriveFileFault CDriveFolder::OpenFile(std::string_view name, CFileDescriptor& file) const
{
    CFileDescriptor handle;
    struct stat info
    {};
    const EDriveFileFault fault = OpenHandle(name, handle, info);
    if (fault != EDriveFileFault::None) {
        return fault;
    }
    if (S_ISDIR(info.st_mode)) {
        return EDriveFileFault::Folder;
    }
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
        return EDriveFileFault::DeviceNode;
    }
    if (!S_ISREG(info.st_mode)) {
        return EDriveFileFault::FifoOrSocket;
    }
    // Reopened through the handle, so what is read is the very file examined, even if
    // the name was replaced meanwhile.
    const std::string self = "/proc/self/fd/" + std::to_string(handle.Get());
    file.Reset(open(self.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    struct stat opened
    {};
    if (!file.IsOpen() || fstat(file.Get(), &opened) != 0 || !S_ISREG(opened.st_mode) || !SameFile(info, opened)) {
        file.Reset(-1);
        return EDriveFileFault::Unreadable;
    }
    return EDriveFileFault::None;
}
