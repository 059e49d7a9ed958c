#pragma once

#include "admin/CAdminCommandLine.h"
#include "admin/CAdminSession.h"
#include "settings/CGuardSettings.h"

#include <optional>
#include <string>

// The commands on the key service's guards against peers: throttle, release-check and
// push-limit; and their part of status.
class CGuardCommands
{
public:
    CGuardCommands(CAdminSession& session, const CAdminCommandLine& line) : m_session(session), m_line(line) {}

    int Throttle();
    int ReleaseCheck();
    int PushLimit();
    // The status lines of the guards' settings and of the last hour's counts; nothing when
    // the settings cannot be read (the caller has said what is wrong with the store).
    void StatusLines();
    // The same as members of a JSON object, each with a leading ", ".
    void StatusJson(bool readable);

private:
    // The settings as stored, or nullopt (said).
    std::optional<SGuardSettings> Stored();
    int Store(const SGuardSettings& settings, const std::string& done);
    int ChangeExempt(SGuardSettings settings);

    CAdminSession& m_session;
    const CAdminCommandLine& m_line;
};
