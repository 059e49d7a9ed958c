#pragma once

#include "CSqliteConnection.h"
#include "settings/RegistryTypes.h"
#include "settings/StoreCondition.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CConnectionPool;

// A connection borrowed from the pool for one operation; returned on destruction.
class CLease
{
public:
    CLease(CConnectionPool& pool, std::unique_ptr<CSqliteConnection> connection, int32_t code, uint64_t generation)
        : m_pool(pool), m_connection(std::move(connection)), m_code(code), m_generation(generation)
    {}
    ~CLease();
    CLease(const CLease&) = delete;
    CLease& operator=(const CLease&) = delete;

    // 0 when a connection is held, else the store code to report.
    int32_t Code() const { return m_code; }
    CSqliteConnection& operator*() const { return *m_connection; }
    CSqliteConnection* operator->() const { return m_connection.get(); }

private:
    CConnectionPool& m_pool;
    std::unique_ptr<CSqliteConnection> m_connection;
    int32_t m_code;
    uint64_t m_generation;
};

// The process's connections to one store, shared by all threads: each operation borrows
// one and gives it back, so that opening a key costs no database open. Reading never
// changes a file: a store that is missing, empty or damaged is reported as such. The first
// change creates the folder (0700) and the database (0600) and applies the schema.
//
// Every commit is in settings.db itself when it returns: the store keeps a rollback
// journal (a write-ahead log would hold the latest changes in a second file, lost with
// it). Before each operation the file is checked to still be the one the connections
// have open: a store removed or replaced under the process is opened afresh, never
// written into a file that no longer has a name.
//
// At most kMaxConnections are open at once; further borrowers wait their turn, so that a
// burst of operations cannot use up the process's descriptors and make the store fail.
class CConnectionPool
{
public:
    static constexpr size_t kMaxConnections = 4;
    // Each connection holds the database and, while it writes, its journal open.
    static constexpr size_t kDescriptorsPerConnection = 2;

    enum class Use
    {
        Read,
        Write
    };

    explicit CConnectionPool(std::string directory);
    ~CConnectionPool();
    CConnectionPool(const CConnectionPool&) = delete;
    CConnectionPool& operator=(const CConnectionPool&) = delete;

    CLease Borrow(Use use = Use::Read);
    void Return(std::unique_ptr<CSqliteConnection> connection, uint64_t generation);

    // What keeps this process from reading the store, or from changing it (creating it
    // where it is missing); changes nothing.
    StoreCondition Inspect(bool forWriting);
    // Whether this process may change the store; changes nothing.
    bool Writable();
    // A store another process still holds in write-ahead mode is checkpointed after each
    // commit, so that settings.db holds the change all the same.
    bool CheckpointAfterCommit();
    const std::string& Directory() const { return m_directory; }
    const std::string& File() const { return m_file; }

private:
    enum class Level
    {
        None,
        Read,
        Write
    };

    int32_t Prepare(Use use);
    int32_t PrepareForWriting();
    int32_t CheckSchema(CSqliteConnection& connection);
    int32_t ApplySchema(CSqliteConnection& connection);
    bool Moved(CSqliteConnection& connection);
    void Forget();
    CLease Take(Use use, bool retried);

    const std::string m_directory;
    const std::string m_file;
    std::mutex m_mutex;
    std::condition_variable m_returned;
    std::vector<std::unique_ptr<CSqliteConnection>> m_idle;
    size_t m_open = 0;
    Level m_level = Level::None;
    bool m_readOnly = false;
    bool m_checkpoint = false;
    // Moves when the store's file is found removed or replaced: connections to the old
    // file are closed as they come back.
    uint64_t m_generation = 0;
};
