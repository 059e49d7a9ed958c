#pragma once

#include "admin/CAdminCommandLine.h"
#include "admin/CAdminSession.h"

#include <cstddef>
#include <optional>

class CLockKeyScanner;

// The commands on registrations and lock keys: list, sticks, register, delete.
class CKeyCommands
{
public:
    CKeyCommands(CAdminSession& session, const CAdminCommandLine& line) : m_session(session), m_line(line) {}

    int List();
    int Sticks();
    int Register();
    int Delete();

private:
    // The entry the argument names (the only one without an argument); nullopt after
    // saying why there is none, with the exit status in status.
    std::optional<size_t> SelectStick(const CLockKeyScanner& scanner, int& status);
    int ReportRegistration(ERegisterOutcome outcome, ELockKeyFault fault, const CLockKeyEntry& entry);

    CAdminSession& m_session;
    const CAdminCommandLine& m_line;
};
