#pragma once

#include "CConnectionPool.h"
#include "CTransaction.h"

#include <cstdint>
#include <optional>

// One change to the store: a borrowed connection inside a write transaction, rolled back
// unless committed. A commit that returned true is in settings.db.
class CKeyWrite
{
public:
    explicit CKeyWrite(CConnectionPool& pool);
    CKeyWrite(const CKeyWrite&) = delete;
    CKeyWrite& operator=(const CKeyWrite&) = delete;

    // 0 when the connection is held and the transaction begun, else the code to report.
    int32_t Code() const;
    CSqliteConnection& operator*() const { return *m_lease; }
    CSqliteConnection* operator->() const { return m_lease.operator->(); }
    bool Commit();

private:
    CConnectionPool& m_pool;
    CLease m_lease;
    std::optional<CTransaction> m_transaction;
};
