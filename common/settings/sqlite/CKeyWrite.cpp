#include "CKeyWrite.h"

#include "settings/RegistryTypes.h"

CKeyWrite::CKeyWrite(CConnectionPool& pool) : m_lease(pool.Borrow())
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
    return m_transaction->Begun() ? 0 : ERROR_REGISTRY_IO_FAILED;
}
