#pragma once

#include "CSqliteConnection.h"
#include "settings/RegistryTypes.h"

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
    CLease(CConnectionPool& pool, std::unique_ptr<CSqliteConnection> connection, int32_t code)
        : m_pool(pool), m_connection(std::move(connection)), m_code(code)
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
};

// The process's connections to one store, shared by all threads: each operation borrows
// one and gives it back, so that opening a key costs no database open. The first
// borrow creates the directory (0700) and the database (0600) and applies the schema.
// At most kMaxConnections are open at once; further borrowers wait their turn, so that a
// burst of operations cannot use up the process's descriptors and make the store fail.
class CConnectionPool
{
public:
    static constexpr size_t kMaxConnections = 4;
    // Each connection holds the database and its write-ahead log open.
    static constexpr size_t kDescriptorsPerConnection = 2;

    explicit CConnectionPool(std::string directory);
    ~CConnectionPool();
    CConnectionPool(const CConnectionPool&) = delete;
    CConnectionPool& operator=(const CConnectionPool&) = delete;

    CLease Borrow();
    void Return(std::unique_ptr<CSqliteConnection> connection);

    // False when this process may only read the store (or not even that).
    bool Writable();
    const std::string& Directory() const { return m_directory; }
    const std::string& File() const { return m_file; }

private:
    int32_t Prepare();
    int32_t ApplySchema(CSqliteConnection& connection);

    const std::string m_directory;
    const std::string m_file;
    std::mutex m_mutex;
    std::condition_variable m_returned;
    std::vector<std::unique_ptr<CSqliteConnection>> m_idle;
    size_t m_open = 0;
    bool m_prepared = false;
    bool m_readOnly = false;
};
