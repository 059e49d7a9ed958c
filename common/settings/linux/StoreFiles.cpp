#include "StoreFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace StoreFiles {

namespace {

StoreCondition Condition(StoreProblem problem, const std::string& path, std::string detail = {})
{
    return StoreCondition{problem, path, std::move(detail)};
}

std::string ModeText(mode_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Root ignores file modes; what still refuses it is the file system or the file's own
// attributes, which no change of user mends.
StoreCondition Refused(int error, const std::string& path)
{
    if (error == EROFS || error == EPERM || (error == EACCES && geteuid() == 0)) {
        return Condition(StoreProblem::ReadOnly, path, std::strerror(error));
    }
    if (error == EACCES) {
        return Condition(StoreProblem::NoAccess, path, std::strerror(error));
    }
    return Condition(StoreProblem::Failed, path, std::strerror(error));
}

} // namespace

StoreCondition InspectFolder(const std::string& directory)
{
    // A link to the folder is followed (systemd links state folders of its own users); the
    // folder it leads to is what must be safe.
    struct stat info
    {};
    if (stat(directory.c_str(), &info) != 0) {
        return errno == ENOENT ? Condition(StoreProblem::Missing, directory) : Refused(errno, directory);
    }
    if (!S_ISDIR(info.st_mode)) {
        return Condition(StoreProblem::Corrupt, directory, "it is not a folder");
    }
    // Whoever may write the folder may replace the store under the programs that trust it.
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return Condition(StoreProblem::UnsafeFolder, directory, "its mode is " + ModeText(info.st_mode));
    }
    if (info.st_uid != geteuid() && info.st_uid != 0) {
        return Condition(StoreProblem::UnsafeFolder, directory,
                         "it belongs to uid " + std::to_string(info.st_uid) + ", not to uid " +
                             std::to_string(geteuid()) + " or root");
    }
    return {};
}

StoreCondition InspectFile(const std::string& directory, const std::string& file, bool forWriting)
{
    if (StoreCondition folder = InspectFolder(directory); folder.problem != StoreProblem::None) {
        return folder;
    }
    struct stat info
    {};
    if (lstat(file.c_str(), &info) != 0) {
        return errno == ENOENT ? Condition(StoreProblem::Missing, file) : Refused(errno, file);
    }
    if (!S_ISREG(info.st_mode)) {
        return Condition(StoreProblem::Corrupt, file, S_ISLNK(info.st_mode) ? "it is a link" : "it is no file");
    }
    const int fd = open(file.c_str(), (forWriting ? O_RDWR : O_RDONLY) | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return Refused(errno, file);
    }
    close(fd);
    // A change writes its journal beside the file.
    if (forWriting && access(directory.c_str(), W_OK) != 0) {
        return Refused(errno, directory);
    }
    if (info.st_size == 0) {
        return Condition(StoreProblem::Empty, file, "it is 0 bytes long");
    }
    return {};
}

StoreCondition InspectCreation(const std::string& directory)
{
    std::string existing = directory;
    struct stat info
    {};
    while (lstat(existing.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            return Refused(errno, existing);
        }
        const auto slash = existing.find_last_of('/');
        existing = slash == 0 || slash == std::string::npos ? "/" : existing.substr(0, slash);
    }
    if (existing == directory) {
        if (StoreCondition folder = InspectFolder(directory); folder.problem != StoreProblem::None) {
            return folder;
        }
    } else if (!S_ISDIR(info.st_mode)) {
        return Condition(StoreProblem::Corrupt, existing, "it is not a folder");
    }
    if (access(existing.c_str(), W_OK) != 0) {
        return Refused(errno, existing);
    }
    return {};
}

int MakeFolder(const std::string& path)
{
    struct stat info
    {};
    if (stat(path.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    }
    if (errno != ENOENT) {
        return errno;
    }
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        const int parent = MakeFolder(path.substr(0, slash));
        if (parent != 0) {
            return parent;
        }
    }
    // mkdir applies the umask; chmod afterwards cannot widen a window that never opened.
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return errno;
    }
    chmod(path.c_str(), 0700);
    return 0;
}

} // namespace StoreFiles
