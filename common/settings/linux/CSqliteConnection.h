#pragma once

#include "Statements.h"

#include <array>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

// One SQLite connection of the store with its prepared statements. Used by one thread
// at a time (borrowed from the pool).
class CSqliteConnection
{
public:
    // Opens the database file (which must exist) and sets the per-connection pragmas.
    // Null when it cannot be opened.
    static std::unique_ptr<CSqliteConnection> Open(const std::string& file, bool readOnly);
    ~CSqliteConnection();
    CSqliteConnection(const CSqliteConnection&) = delete;
    CSqliteConnection& operator=(const CSqliteConnection&) = delete;

    // The prepared statement (reset, no bindings); null if it cannot be prepared.
    sqlite3_stmt* Statement(StatementId id);
    // Runs SQL without results; false on failure.
    bool Execute(const char* sql);
    // The first column of the first row of a query as text; empty on failure.
    std::string QueryText(const char* sql);
    bool ReadOnly() const { return m_readOnly; }
    bool InTransaction() const;
    sqlite3* Handle() const { return m_db; }

private:
    CSqliteConnection(sqlite3* db, bool readOnly) : m_db(db), m_readOnly(readOnly) {}

    sqlite3* m_db;
    bool m_readOnly;
    std::array<sqlite3_stmt*, static_cast<size_t>(StatementId::Count)> m_statements{};
};
