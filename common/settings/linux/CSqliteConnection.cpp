#include "CSqliteConnection.h"

#include <sqlite3.h>

namespace {

// Long enough for another process's write transaction (a few fsyncs) to finish.
constexpr int kBusyTimeoutMs = 10000;

} // namespace

std::unique_ptr<CSqliteConnection> CSqliteConnection::Open(const std::string& file, bool readOnly)
{
    sqlite3* db = nullptr;
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(file.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    std::unique_ptr<CSqliteConnection> connection(new CSqliteConnection(db, readOnly));
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    // EXTRA: a commit that returned is on disk, the removal of its journal included, so no
    // crash or power loss brings back a journal that would roll it back.
    if (!connection->Execute("PRAGMA synchronous=EXTRA") || !connection->Execute("PRAGMA temp_store=MEMORY")) {
        return nullptr;
    }
    return connection;
}

CSqliteConnection::~CSqliteConnection()
{
    for (sqlite3_stmt* statement : m_statements) {
        sqlite3_finalize(statement);
    }
    sqlite3_close_v2(m_db);
}

sqlite3_stmt* CSqliteConnection::Statement(StatementId id)
{
    sqlite3_stmt*& slot = m_statements[static_cast<size_t>(id)];
    if (slot == nullptr) {
        if (sqlite3_prepare_v3(m_db, StatementText(id), -1, SQLITE_PREPARE_PERSISTENT, &slot, nullptr) != SQLITE_OK) {
            sqlite3_finalize(slot);
            slot = nullptr;
        }
    }
    return slot;
}

bool CSqliteConnection::Execute(const char* sql)
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string CSqliteConnection::QueryText(const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    std::string text;
    if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW) {
        if (const unsigned char* column = sqlite3_column_text(statement, 0)) {
            text = reinterpret_cast<const char*>(column);
        }
    }
    sqlite3_finalize(statement);
    return text;
}

bool CSqliteConnection::InTransaction() const
{
    return sqlite3_get_autocommit(m_db) == 0;
}
