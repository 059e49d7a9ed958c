#include "CTransaction.h"

CTransaction::CTransaction(CSqliteConnection& connection)
    : m_connection(connection), m_begun(connection.Execute("BEGIN IMMEDIATE"))
{}

CTransaction::~CTransaction()
{
    if (m_begun && !m_done) {
        m_connection.Execute("ROLLBACK");
    }
}

bool CTransaction::Commit()
{
    if (!m_begun || m_done) {
        return false;
    }
    if (!m_connection.Execute("COMMIT")) {
        return false; // the destructor rolls back
    }
    m_done = true;
    return true;
}
