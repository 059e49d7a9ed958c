#include "CNetshFirewall.h"

#include "control/CWindowsVersion.h"
#include "control/RunHidden.h"

namespace {

const std::string kRuleName = "Ternwick";

bool UsesFirewallSyntax(uint32_t versionClass)
{
    return versionClass == 64 || versionClass == 128 || versionClass == 512;
}

} // namespace

std::string CNetshFirewall::Quote(const std::string& value)
{
    return !value.empty() && value.front() == '"' ? value : "\"" + value + "\"";
}

std::vector<std::string> CNetshFirewall::AddCommands(uint32_t versionClass, const std::string& path)
{
    if (UsesFirewallSyntax(versionClass)) {
        return {"netsh firewall add allowedprogram program = " + Quote(path) + " name = " + Quote(kRuleName)};
    }
    const std::string rule = "netsh advfirewall firewall add rule name=" + Quote(kRuleName) +
                             " dir=in action=allow program=" + Quote(path) + " protocol=";
    return {rule + "tcp", rule + "udp"};
}

std::string CNetshFirewall::RemoveCommand(uint32_t versionClass, const std::string& path)
{
    if (UsesFirewallSyntax(versionClass)) {
        return "netsh firewall delete allowedprogram program = " + Quote(path);
    }
    // Deletes every rule of the name: the tcp and the udp one.
    return "netsh advfirewall firewall delete rule name=" + Quote(kRuleName);
}

int CNetshFirewall::AddFirewallRule(const std::string& quotedPath)
{
    for (const auto& command : AddCommands(m_version.WindowsVersionClass(), quotedPath)) {
        if (RunHidden(command, m_runner) != 0) {
            return 1;
        }
    }
    return 0;
}

int CNetshFirewall::RemoveFirewallRule(const std::string& quotedPath)
{
    return RunHidden(RemoveCommand(m_version.WindowsVersionClass(), quotedPath), m_runner);
}
