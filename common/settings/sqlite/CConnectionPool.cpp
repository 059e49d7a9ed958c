#include "CConnectionPool.h"

#include "CTransaction.h"
#include "Statements.h"
#include "settings/CSettingsStore.h"

#include <cerrno>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

// The connections, the shared index of their logs, the change watcher's two.
static_assert(CConnectionPool::kMaxConnections * CConnectionPool::kDescriptorsPerConnection + 3 <=
              kSettingsStoreDescriptors);

namespace {

bool IsPermissionError(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

// Creates the directory, and any missing parent, owner-only. An existing directory keeps
// its mode: the administrator (or systemd's StateDirectoryMode) chose it.
int MakeDirectory(const std::string& path)
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
        const int parent = MakeDirectory(path.substr(0, slash));
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

} // namespace

CLease::~CLease()
{
    if (m_connection) {
        m_pool.Return(std::move(m_connection));
    }
}

CConnectionPool::CConnectionPool(std::string directory)
    : m_directory(std::move(directory)), m_file(m_directory + "/settings.db")
{}

CConnectionPool::~CConnectionPool() = default;

CLease CConnectionPool::Borrow()
{
    {
        std::unique_lock lock(m_mutex);
        if (!m_prepared) {
            const int32_t code = Prepare();
            if (code != 0) {
                return CLease(*this, nullptr, code);
            }
        }
        m_returned.wait(lock, [this] { return !m_idle.empty() || m_open < kMaxConnections; });
        if (!m_idle.empty()) {
            auto connection = std::move(m_idle.back());
            m_idle.pop_back();
            return CLease(*this, std::move(connection), 0);
        }
        ++m_open; // this borrower's place, taken before the open outside the lock
    }
    auto connection = CSqliteConnection::Open(m_file, m_readOnly);
    if (!connection) {
        {
            std::lock_guard lock(m_mutex);
            --m_open;
        }
        m_returned.notify_one();
        return CLease(*this, nullptr, ERROR_REGISTRY_IO_FAILED);
    }
    return CLease(*this, std::move(connection), 0);
}

void CConnectionPool::Return(std::unique_ptr<CSqliteConnection> connection)
{
    if (connection->InTransaction()) {
        connection->Execute("ROLLBACK");
    }
    {
        std::lock_guard lock(m_mutex);
        m_idle.push_back(std::move(connection));
    }
    m_returned.notify_one();
}

bool CConnectionPool::Writable()
{
    std::lock_guard lock(m_mutex);
    if (!m_prepared) {
        Prepare();
    }
    return m_prepared && !m_readOnly;
}

// Called with the mutex held. Tried again on the next borrow until it succeeds, so a
// store that becomes reachable later is used then.
int32_t CConnectionPool::Prepare()
{
    const int dirError = MakeDirectory(m_directory);
    if (dirError != 0) {
        return IsPermissionError(dirError) ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED;
    }
    bool readOnly = false;
    // Created owner-only before SQLite sees it; SQLite gives the -wal and -shm files the
    // mode of the database file.
    int fd = open(m_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 && IsPermissionError(errno)) {
        fd = open(m_file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        readOnly = true;
    }
    if (fd < 0) {
        return IsPermissionError(errno) ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED;
    }
    struct stat info
    {};
    if (!readOnly && fstat(fd, &info) == 0 && info.st_size == 0) {
        fchmod(fd, 0600);
    }
    close(fd);

    auto connection = CSqliteConnection::Open(m_file, readOnly);
    if (!connection) {
        return readOnly ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED;
    }
    if (!readOnly) {
        const int32_t code = ApplySchema(*connection);
        if (code != 0) {
            return code;
        }
    }
    m_readOnly = readOnly;
    m_prepared = true;
    ++m_open;
    m_idle.push_back(std::move(connection));
    return 0;
}

int32_t CConnectionPool::ApplySchema(CSqliteConnection& connection)
{
    // The journal mode is a property of the database file: set once, kept by all.
    if (!connection.Execute("PRAGMA journal_mode=WAL")) {
        return ERROR_REGISTRY_IO_FAILED;
    }
    CTransaction transaction(connection);
    if (!transaction.Begun() || !connection.Execute(kSchemaSql) || !transaction.Commit()) {
        return ERROR_REGISTRY_IO_FAILED;
    }
    return 0;
}
