#include "CStatement.h"

#include <sqlite3.h>

CStatement::CStatement(CSqliteConnection& connection, StatementId id) : m_statement(connection.Statement(id))
{
    m_failed = m_statement == nullptr;
}

CStatement::~CStatement()
{
    if (m_statement != nullptr) {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
}

CStatement& CStatement::Bind(int index, int64_t value)
{
    if (m_statement != nullptr && sqlite3_bind_int64(m_statement, index, value) != SQLITE_OK) {
        m_failed = true;
    }
    return *this;
}

CStatement& CStatement::Bind(int index, std::string_view bytes)
{
    // A zero-length blob must still be a blob, not NULL.
    static const char empty = 0;
    const char* data = bytes.empty() ? &empty : bytes.data();
    if (m_statement != nullptr &&
        sqlite3_bind_blob64(m_statement, index, data, bytes.size(), SQLITE_STATIC) != SQLITE_OK) {
        m_failed = true;
    }
    return *this;
}

bool CStatement::Step()
{
    if (m_failed) {
        return false;
    }
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc != SQLITE_DONE) {
        m_failed = true;
    }
    return false;
}

bool CStatement::Run()
{
    while (Step()) {
    }
    return !m_failed;
}

int64_t CStatement::Integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

std::string_view CStatement::Bytes(int column) const
{
    const void* data = sqlite3_column_blob(m_statement, column);
    const int length = sqlite3_column_bytes(m_statement, column);
    if (data == nullptr || length <= 0) {
        return {};
    }
    return {static_cast<const char*>(data), static_cast<size_t>(length)};
}
