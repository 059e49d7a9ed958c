#include "admin/ExportFiles.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ExportFiles {

bool Exists(const std::string& path)
{
    struct stat info
    {};
    return lstat(path.c_str(), &info) == 0;
}

std::string Read(const std::string& path, size_t limit, std::string& bytes)
{
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return errno == ELOOP ? "it is a symbolic link: name the file itself" : std::strerror(errno);
    }
    const auto done = [fd](std::string error) {
        close(fd);
        return error;
    };
    struct stat info
    {};
    if (fstat(fd, &info) != 0) {
        return done(std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return done("it is not a regular file");
    }
    if (static_cast<uint64_t>(info.st_size) > limit) {
        return done("it is far larger than any export");
    }
    // One byte more than its size shows a file that grows while it is read.
    bytes.resize(static_cast<size_t>(info.st_size) + 1);
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t count = read(fd, bytes.data() + got, bytes.size() - got);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return done(std::strerror(errno));
        }
        if (count == 0) {
            break;
        }
        got += static_cast<size_t>(count);
    }
    bytes.resize(got);
    if (got > static_cast<size_t>(info.st_size)) {
        return done("it changed while it was read");
    }
    return done({});
}

std::string WriteNew(const std::string& path, const std::string& bytes, bool replace)
{
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        return std::strerror(errno);
    }
    const auto fail = [&temporary, fd](int error) {
        close(fd);
        unlink(temporary.c_str());
        return std::string(std::strerror(error));
    };
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = write(fd, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno != EINTR) {
            return fail(errno);
        }
        written += count > 0 ? static_cast<size_t>(count) : 0;
    }
    if (fsync(fd) != 0) {
        return fail(errno);
    }
    close(fd);
    int renamed = replace ? rename(temporary.c_str(), path.c_str())
                          : renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
    if (renamed != 0 && !replace && errno == EINVAL) {
        // A file system without that rename: a hard link fails as well on an existing name.
        renamed = link(temporary.c_str(), path.c_str());
        unlink(temporary.c_str());
    }
    if (renamed != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return error == EEXIST ? "it exists already" : std::strerror(error);
    }
    return {};
}

std::string HostName()
{
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

} // namespace ExportFiles
