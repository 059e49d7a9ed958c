#pragma once

#include "CSqliteConnection.h"

// A write transaction (BEGIN IMMEDIATE, so that it waits for other writers up front
// rather than failing on upgrade); rolled back on destruction unless committed.
class CTransaction
{
public:
    explicit CTransaction(CSqliteConnection& connection);
    ~CTransaction();
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;

    bool Begun() const { return m_begun; }
    bool Commit();

private:
    CSqliteConnection& m_connection;
    bool m_begun;
    bool m_done = false;
};
