#include "CConnectionPool.h"
#include "CSqliteConnection.h"
#include "CSqliteStore.h"

#include <cerrno>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The new file and its directory entry on disk: the copy is what an uninstall keeps.
bool Synced(const std::string& file, const std::string& directory)
{
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    const bool fileSynced = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0) {
        close(fd);
    }
    const int dir = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool dirSynced = dir >= 0 && fsync(dir) == 0;
    if (dir >= 0) {
        close(dir);
    }
    return fileSynced && dirSynced;
}

} // namespace

int32_t CSqliteStore::CopyBeside(std::string_view name, std::string* path)
{
    if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..") {
        return kErrorInvalidParameter;
    }
    CLease lease = m_pool->Borrow();
    if (lease.Code() != kErrorSuccess) {
        return lease.Code();
    }
    const std::string target = m_pool->Directory() + "/" + std::string(name) + ".db";
    // Made empty and owner-only first: SQLite fills an empty file and keeps its mode, so
    // the keys are never readable by others, not even for a moment.
    const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return errno == EEXIST ? kErrorAlreadyExists : kErrorAccessDenied;
    }
    const bool owned = fchmod(fd, 0600) == 0;
    close(fd);
    // One read transaction: a copy of one moment, while writers may go on.
    sqlite3_stmt* statement = nullptr;
    bool copied = owned &&
                  sqlite3_prepare_v2(lease->Handle(), "VACUUM INTO ?1", -1, &statement, nullptr) == SQLITE_OK &&
                  sqlite3_bind_text(statement, 1, target.c_str(), -1, SQLITE_TRANSIENT) == SQLITE_OK &&
                  sqlite3_step(statement) == SQLITE_DONE;
    sqlite3_finalize(statement);
    copied = copied && Synced(target, m_pool->Directory());
    if (!copied) {
        unlink(target.c_str());
        return kErrorWriteFault;
    }
    *path = target;
    return kErrorSuccess;
}
