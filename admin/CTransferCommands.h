#pragma once

#include "admin/CAdminCommandLine.h"
#include "admin/CAdminSession.h"

#include <optional>
#include <string>
#include <vector>

// The commands that move keys between this key server and another: copy and fetch.
class CTransferCommands
{
public:
    CTransferCommands(CAdminSession& session, const CAdminCommandLine& line) : m_session(session), m_line(line) {}

    int Copy();
    int Fetch();

private:
    // The other key server that the first operand names, its port checked; nullopt after
    // saying why not (a usage error).
    std::optional<SCopyTarget> Address();
    // The cooperation password of the target; false after saying why there is none.
    bool ReadPassword(SCopyTarget& target);
    // The IDs to copy: every registration, or the named ones when all are registered.
    std::optional<std::vector<std::string>> CopyIds(int& status);
    // The exit status of a conversation that ended with the outcome.
    int ReportOutcome(ECopyOutcome outcome, const SCopyTarget& target, const std::string& direction);

    CAdminSession& m_session;
    const CAdminCommandLine& m_line;
};
