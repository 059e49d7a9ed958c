#pragma once

#include "admin/CAdminCommandLine.h"
#include "admin/CAdminSession.h"

#include <optional>
#include <string>

// The commands on the service's settings and state: port, password, status.
class CSettingCommands
{
public:
    CSettingCommands(CAdminSession& session, const CAdminCommandLine& line) : m_session(session), m_line(line) {}

    int Port();
    int Password();
    int Status();
    int StatusAsJson();

private:
    int ChangePort(const std::string& text);
    int SetPassword();
    int ReportPassword(EPasswordOutcome outcome, const std::string& done);
    // The port as the store holds it; nullopt (said) when it cannot be read. Call after
    // the session's Registrations, which prepares the store.
    std::optional<std::string> StoredPort();

    CAdminSession& m_session;
    const CAdminCommandLine& m_line;
};
