#pragma once

#include "admin/CAdminSession.h"

#include <string>
#include <vector>

// corvane-admin: one command per run on the environment; the exit status of its outcome.
class CAdminProgram
{
public:
    explicit CAdminProgram(const SAdminEnvironment& environment) : m_session(environment) {}

    // The arguments after the program name.
    int Run(const std::vector<std::string>& args);

private:
    CAdminSession m_session;
};
