#pragma once

#include "CSqliteConnection.h"

#include <cstdint>
#include <string_view>

// A borrowed prepared statement: binds, steps and reads columns; reset on destruction so
// that it holds no read lock afterwards.
class CStatement
{
public:
    CStatement(CSqliteConnection& connection, StatementId id);
    ~CStatement();
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;

    bool Valid() const { return m_statement != nullptr; }
    CStatement& Bind(int index, int64_t value);
    CStatement& Bind(int index, std::string_view bytes);
    // A row: true; done or failed: false (see Failed()).
    bool Step();
    // Runs to completion; true on success.
    bool Run();
    bool Failed() const { return m_failed; }

    int64_t Integer(int column) const;
    std::string_view Bytes(int column) const;

private:
    sqlite3_stmt* m_statement;
    bool m_failed = false;
};
