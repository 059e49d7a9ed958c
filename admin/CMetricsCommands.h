#pragma once

#include "admin/CAdminCommandLine.h"
#include "admin/CAdminSession.h"

#include <optional>
#include <string>

// The commands on the key service's metrics: metrics-dir (where it writes them) and
// metrics (what it wrote last).
class CMetricsCommands
{
public:
    CMetricsCommands(CAdminSession& session, const CAdminCommandLine& line) : m_session(session), m_line(line) {}

    int MetricsDir();
    int Metrics();

private:
    int SetDirectory(const std::string& directory);
    // The folder set in the store ("" for none); nullopt (said) when the store cannot be read.
    std::optional<std::string> StoredDirectory();

    CAdminSession& m_session;
    const CAdminCommandLine& m_line;
};
