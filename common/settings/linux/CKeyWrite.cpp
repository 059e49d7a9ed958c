#include "CKeyWrite.h"

#include "settings/RegistryTypes.h"

CKeyWrite::CKeyWrite(CConnectionPool& pool) : m_pool(pool), m_lease(pool.Borrow(CConnectionPool::Use::Write))
{
    if (m_lease.Code() == 0) {
        m_transaction.emplace(*m_lease);
    }
}

int32_t CKeyWrite::Code() const
{
    if (m_lease.Code() != 0) {
        return m_lease.Code();
    }
    return m_transaction->Begun() ? 0 : kErrorRegistryIoFailed;
}

bool CKeyWrite::Commit()
{
    if (!m_transaction->Commit()) {
        return false;
    }
    // The change is committed either way; a checkpoint that cannot finish now leaves it in
    // the log, where the next commit's checkpoint takes it along.
    if (m_pool.CheckpointAfterCommit()) {
        m_lease->Execute("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    return true;
}
