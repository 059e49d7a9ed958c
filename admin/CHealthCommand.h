#pragma once

#include "admin/CAdminCommandLine.h"
#include "admin/CAdminSession.h"

#include <cstdint>
#include <string>

// health: whether the key service of this computer can serve units now, as one exit
// status per reason, cheap enough for a check run every second.
class CHealthCommand
{
public:
    CHealthCommand(CAdminSession& session, const CAdminCommandLine& line) : m_session(session), m_line(line) {}

    int Run();

private:
    // One reason, or healthy: its exit status, its name for scripts and one line.
    struct SFinding
    {
        int status;
        const char* name;
        std::string message;
    };

    // The checks in order, each run only when the ones before found the service healthy.
    SFinding Verdict();
    // The store is readable and of this machine; reads the port.
    SFinding CheckStore();
    // A check request on the port is answered in time; when not, the service manager tells
    // a pause from a service that is gone or stuck.
    SFinding CheckAnswer();
    // With peers, no ID is in conflict with one (unless serving only is asked).
    SFinding CheckConflicts();

    CAdminSession& m_session;
    const CAdminCommandLine& m_line;
    uint16_t m_port = 0;
};
