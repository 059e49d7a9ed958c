#include "CConnectionPool.h"

#include "CTransaction.h"
#include "Statements.h"
#include "StoreFiles.h"
#include "platform/StateDirectory.h"
#include "settings/CSettingsStore.h"

#include <cerrno>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

// The connections, the change watcher's two, the change count's file.
static_assert(CConnectionPool::kMaxConnections * CConnectionPool::kDescriptorsPerConnection + 3 <=
              kSettingsStoreDescriptors);

namespace {

int32_t CodeFor(StoreProblem problem)
{
    switch (problem) {
    case StoreProblem::None:
        return kErrorSuccess;
    case StoreProblem::Missing:
    case StoreProblem::Empty:
        return kErrorFileNotFound;
    case StoreProblem::NoLocation:
    case StoreProblem::NoAccess:
    case StoreProblem::ReadOnly:
    case StoreProblem::UnsafeFolder:
        return kErrorAccessDenied;
    case StoreProblem::Corrupt:
        return kErrorBadDb;
    case StoreProblem::Failed:
        break;
    }
    return kErrorRegistryIoFailed;
}

int32_t CodeForOpenError(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return kErrorAccessDenied;
    case ELOOP:
        return kErrorBadDb; // a link where the store should be
    default:
        return kErrorRegistryIoFailed;
    }
}

} // namespace

CLease::~CLease()
{
    if (m_connection) {
        m_pool.Return(std::move(m_connection), m_generation);
    }
}

CConnectionPool::CConnectionPool(std::string directory)
    : m_directory(std::move(directory)), m_file(m_directory + "/settings.db")
{}

CConnectionPool::~CConnectionPool() = default;

CLease CConnectionPool::Borrow(Use use)
{
    return Take(use, false);
}

CLease CConnectionPool::Take(Use use, bool retried)
{
    std::unique_ptr<CSqliteConnection> connection;
    uint64_t generation = 0;
    bool readOnly = false;
    {
        std::unique_lock lock(m_mutex);
        if (m_level < (use == Use::Write ? Level::Write : Level::Read)) {
            const int32_t code = Prepare(use);
            if (code != 0) {
                return CLease(*this, nullptr, code, 0);
            }
        }
        m_returned.wait(lock, [this] { return !m_idle.empty() || m_open < kMaxConnections; });
        generation = m_generation;
        readOnly = m_readOnly;
        if (!m_idle.empty()) {
            connection = std::move(m_idle.back());
            m_idle.pop_back();
        } else {
            ++m_open; // this borrower's place, taken before the open outside the lock
        }
    }
    if (!connection) {
        connection = CSqliteConnection::Open(m_file, readOnly);
    }
    if (connection && !Moved(*connection)) {
        return CLease(*this, std::move(connection), 0, generation);
    }
    bool forgotten = false;
    {
        std::lock_guard lock(m_mutex);
        --m_open;
        if (connection && generation == m_generation) {
            Forget();
            forgotten = true;
        }
    }
    connection.reset();
    m_returned.notify_all();
    if (forgotten) {
        StoreNotice(m_file + " was removed or replaced while in use: the store is opened afresh");
        if (!retried) {
            return Take(use, true);
        }
    }
    return CLease(*this, nullptr, kErrorRegistryIoFailed, 0);
}

void CConnectionPool::Return(std::unique_ptr<CSqliteConnection> connection, uint64_t generation)
{
    if (connection->InTransaction()) {
        connection->Execute("ROLLBACK");
    }
    {
        std::lock_guard lock(m_mutex);
        if (generation == m_generation) {
            m_idle.push_back(std::move(connection));
        } else {
            --m_open; // a connection to a file that is no longer the store
        }
    }
    connection.reset();
    m_returned.notify_one();
}

bool CConnectionPool::Moved(CSqliteConnection& connection)
{
    int moved = 0;
    return sqlite3_file_control(connection.Handle(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved != 0;
}

// Called with the mutex held.
void CConnectionPool::Forget()
{
    m_open -= m_idle.size();
    m_idle.clear();
    ++m_generation;
    m_level = Level::None;
}

StoreCondition CConnectionPool::Inspect(bool forWriting)
{
    if (m_directory.empty()) {
        return StoreCondition{StoreProblem::NoLocation, {}, Platform::StateDirectoryProblem()};
    }
    StoreCondition condition = StoreFiles::InspectFile(m_directory, m_file, forWriting);
    if (condition.problem == StoreProblem::Missing && forWriting) {
        condition = StoreFiles::InspectCreation(m_directory);
        if (condition.problem == StoreProblem::None) {
            condition.path = m_file;
        }
        return condition;
    }
    if (condition.problem == StoreProblem::Missing) {
        condition.path = m_file; // the folder may be missing too: the store is what is
    }
    if (condition.problem != StoreProblem::None) {
        return condition;
    }
    // Read-write where this user may write: a change that a killed process left half done
    // (its journal beside the file) is undone by the first read, and only such a connection
    // may undo it. Reading alone writes nothing.
    const bool readOnly = StoreFiles::InspectFile(m_directory, m_file, true).problem != StoreProblem::None;
    auto connection = CSqliteConnection::Open(m_file, readOnly);
    const int32_t code = connection ? CheckSchema(*connection) : kErrorBadDb;
    if (code == kErrorBadDb) {
        return StoreCondition{StoreProblem::Corrupt, m_file, "it is not a key store, or it is damaged"};
    }
    if (code == kErrorFileNotFound && !forWriting) {
        return StoreCondition{StoreProblem::Empty, m_file, "it holds no settings"};
    }
    if (code != 0 && code != kErrorFileNotFound) {
        return StoreCondition{StoreProblem::Failed, m_file, "it cannot be read now"};
    }
    return StoreCondition{StoreProblem::None, m_file, {}};
}

bool CConnectionPool::Writable()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_level == Level::Write || (m_level == Level::Read && !m_readOnly)) {
            return true;
        }
    }
    return Inspect(true).problem == StoreProblem::None;
}

bool CConnectionPool::CheckpointAfterCommit()
{
    std::lock_guard lock(m_mutex);
    return m_checkpoint;
}

// Called with the mutex held. Tried again on the next borrow until it succeeds, so a
// store that becomes reachable later is used then.
int32_t CConnectionPool::Prepare(Use use)
{
    if (use == Use::Write) {
        return PrepareForWriting();
    }
    const StoreCondition condition = Inspect(false);
    if (condition.problem != StoreProblem::None) {
        return CodeFor(condition.problem);
    }
    const bool readOnly = StoreFiles::InspectFile(m_directory, m_file, true).problem != StoreProblem::None;
    auto connection = CSqliteConnection::Open(m_file, readOnly);
    if (!connection) {
        return kErrorRegistryIoFailed;
    }
    m_readOnly = readOnly;
    m_level = Level::Read;
    ++m_open;
    m_idle.push_back(std::move(connection));
    return 0;
}

// Called with the mutex held.
int32_t CConnectionPool::PrepareForWriting()
{
    if (m_directory.empty()) {
        return kErrorAccessDenied;
    }
    const StoreCondition folder = StoreFiles::InspectFolder(m_directory);
    if (folder.problem == StoreProblem::Missing) {
        if (const int error = StoreFiles::MakeFolder(m_directory); error != 0) {
            return CodeForOpenError(error);
        }
    } else if (folder.problem != StoreProblem::None) {
        return CodeFor(folder.problem);
    }
    // Created owner-only before SQLite sees it; its journal gets the same mode.
    bool created = true;
    int fd = open(m_file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = open(m_file.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK);
    }
    if (fd < 0) {
        return CodeForOpenError(errno);
    }
    struct stat info
    {};
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    close(fd);
    // An existing file of 0 bytes lost what it held: it is not made a new store unasked.
    if (!regular || (!created && info.st_size == 0)) {
        return kErrorBadDb;
    }
    if (access(m_directory.c_str(), W_OK) != 0) {
        return CodeForOpenError(errno);
    }
    if (m_level == Level::Read && m_readOnly) {
        Forget(); // read-only connections cannot serve writes
    }
    auto connection = CSqliteConnection::Open(m_file, false);
    if (!connection) {
        return kErrorRegistryIoFailed;
    }
    if (const int32_t code = created ? 0 : CheckSchema(*connection); code != 0 && code != kErrorFileNotFound) {
        return code;
    }
    // Stores made before keep a write-ahead log; their changes move into settings.db now.
    // Only a connection of its own may change the mode: this process's others are closed
    // first. Another process that holds such a store open keeps it in that mode: then
    // every commit is checkpointed instead.
    if (connection->QueryText("PRAGMA journal_mode") == "wal") {
        Forget();
        m_checkpoint = connection->QueryText("PRAGMA journal_mode=DELETE") != "delete";
    }
    if (const int32_t code = ApplySchema(*connection); code != 0) {
        return code;
    }
    m_readOnly = false;
    m_level = Level::Write;
    ++m_open;
    m_idle.push_back(std::move(connection));
    return 0;
}

// 0 when the file holds the store's tables, kErrorFileNotFound when it holds none yet,
// kErrorBadDb when it is no database or holds other tables.
int32_t CConnectionPool::CheckSchema(CSqliteConnection& connection)
{
    sqlite3_stmt* statement = nullptr;
    const char* sql = "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                      "name IN ('keys', 'vals', 'changes', 'versions')";
    int rc = sqlite3_prepare_v2(connection.Handle(), sql, -1, &statement, nullptr);
    int64_t tables = -1;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW) {
            tables = sqlite3_column_int64(statement, 0);
        }
    }
    sqlite3_finalize(statement);
    if (tables == 4) {
        return 0;
    }
    if (tables == 0) {
        return kErrorFileNotFound;
    }
    const int primary = rc & 0xFF;
    return tables > 0 || primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT ? kErrorBadDb : kErrorRegistryIoFailed;
}

int32_t CConnectionPool::ApplySchema(CSqliteConnection& connection)
{
    CTransaction transaction(connection);
    if (!transaction.Begun() || !connection.Execute(kSchemaSql) || !transaction.Commit()) {
        return kErrorRegistryIoFailed;
    }
    return 0;
}
