#include "CAdminProgram.h"

#include "admin/CAdminCommandLine.h"
#include "admin/CBackupCommands.h"
#include "admin/CGuardCommands.h"
#include "admin/CHealthCommand.h"
#include "admin/CKeyCommands.h"
#include "admin/CMetricsCommands.h"
#include "admin/CPeerCommands.h"
#include "admin/CSettingCommands.h"
#include "admin/CTransferCommands.h"
#include "admin/ExitStatus.h"
#include "platform/ProgramInfo.h"
#include "protocol/CKeyServerClient.h"

#include <map>
#include <ostream>
#include <string_view>

namespace {

using Handler = int (*)(CAdminSession&, const CAdminCommandLine&);

const std::map<std::string_view, Handler> kHandlers = {
    {"list", [](CAdminSession& s, const CAdminCommandLine& l) { return CKeyCommands(s, l).List(); }},
    {"sticks", [](CAdminSession& s, const CAdminCommandLine& l) { return CKeyCommands(s, l).Sticks(); }},
    {"register", [](CAdminSession& s, const CAdminCommandLine& l) { return CKeyCommands(s, l).Register(); }},
    {"delete", [](CAdminSession& s, const CAdminCommandLine& l) { return CKeyCommands(s, l).Delete(); }},
    {"port", [](CAdminSession& s, const CAdminCommandLine& l) { return CSettingCommands(s, l).Port(); }},
    {"password", [](CAdminSession& s, const CAdminCommandLine& l) { return CSettingCommands(s, l).Password(); }},
    {"status", [](CAdminSession& s, const CAdminCommandLine& l) { return CSettingCommands(s, l).Status(); }},
    {"health", [](CAdminSession& s, const CAdminCommandLine& l) { return CHealthCommand(s, l).Run(); }},
    {"metrics-dir", [](CAdminSession& s, const CAdminCommandLine& l) { return CMetricsCommands(s, l).MetricsDir(); }},
    {"metrics", [](CAdminSession& s, const CAdminCommandLine& l) { return CMetricsCommands(s, l).Metrics(); }},
    {"throttle", [](CAdminSession& s, const CAdminCommandLine& l) { return CGuardCommands(s, l).Throttle(); }},
    {"release-check", [](CAdminSession& s, const CAdminCommandLine& l) { return CGuardCommands(s, l).ReleaseCheck(); }},
    {"push-limit", [](CAdminSession& s, const CAdminCommandLine& l) { return CGuardCommands(s, l).PushLimit(); }},
    {"copy", [](CAdminSession& s, const CAdminCommandLine& l) { return CTransferCommands(s, l).Copy(); }},
    {"fetch", [](CAdminSession& s, const CAdminCommandLine& l) { return CTransferCommands(s, l).Fetch(); }},
    {"export", [](CAdminSession& s, const CAdminCommandLine& l) { return CBackupCommands(s, l).Export(); }},
    {"import", [](CAdminSession& s, const CAdminCommandLine& l) { return CBackupCommands(s, l).Import(); }},
    {"peer", [](CAdminSession& s, const CAdminCommandLine& l) { return CPeerCommands(s, l).Peer(); }},
};

} // namespace

int CAdminProgram::Run(const std::vector<std::string>& args)
{
    CAdminCommandLine line;
    std::string error;
    if (!line.Parse(args, error)) {
        return m_session.UsageError(error);
    }
    if (line.WantsVersion()) {
        m_session.Out() << VersionLine("corvane-admin");
        return kExitSuccess;
    }
    if (line.WantsHelp()) {
        m_session.Out() << (line.Command() != nullptr ? CommandHelp(*line.Command()) : ProgramHelp());
        return kExitSuccess;
    }
    if (!m_session.Environment().locationProblem.empty()) {
        return m_session.UsageError(m_session.Environment().locationProblem);
    }
    CKeyServerClient::SetDefaultTimeOut(line.Has(kOptionTimeOut) ? line.TimeOutMs() : CKeyServerClient::kTimeOut);
    return kHandlers.at(line.Command()->name)(m_session, line);
}
