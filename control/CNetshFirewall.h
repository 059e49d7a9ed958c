#pragma once

#include "control/CFirewall.h"

#include <string>
#include <vector>

class CProcessRunner;
class CWindowsVersion;

// The firewall on Windows: a rule per program, added and removed with netsh, in the
// older "netsh firewall" syntax on 2000, XP and Server 2003 and "netsh advfirewall"
// everywhere else.
class CNetshFirewall : public CFirewall
{
public:
    CNetshFirewall(CWindowsVersion& version, CProcessRunner& runner) : m_version(version), m_runner(runner) {}

    int AddFirewallRule(const std::string& quotedPath) override;
    int RemoveFirewallRule(const std::string& quotedPath) override;

    // The command lines for the version class, in the order they run.
    static std::vector<std::string> AddCommands(uint32_t versionClass, const std::string& path);
    static std::string RemoveCommand(uint32_t versionClass, const std::string& path);
    // A value that begins with a double quote stays as it is; any other is put between
    // double quotes.
    static std::string Quote(const std::string& value);

private:
    CWindowsVersion& m_version;
    CProcessRunner& m_runner;
};
