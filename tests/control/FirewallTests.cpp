// The Linux firewall backends against recording firewall-cmd and ufw stand-ins: which
// firewall is chosen, the exact command lines, and the port hook.
#include "Harness.h"
#include "StandIn.h"
#include "control/linux/CControlSystem.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using Calls = std::vector<std::string>;
using Rules = std::vector<CStandIn::Rule>;

const CStandIn::Rule kFirewalldStopped{"--state", "not running\\n", 252};
const CStandIn::Rule kUfwInactive{"status", "Status: inactive\\n", 0};
const CStandIn::Rule kUfwActive{"status", "Status: active\\n", 0};

struct Firewalls
{
    Harness::CTempDir dir;
    CStandIn firewallCmd;
    CStandIn ufw;
    std::unique_ptr<CControlSystem> system;

    Firewalls(const Rules& firewalld, const Rules& ufwRules)
        : firewallCmd(dir.Path(), "firewall-cmd", firewalld), ufw(dir.Path(), "ufw", ufwRules)
    {
        ControlPaths paths;
        paths.firewallCmd = firewallCmd.Path();
        paths.ufw = ufw.Path();
        paths.ufwApplications = dir.Path();
        system = std::make_unique<CControlSystem>(paths);
    }

    std::string Profile() const
    {
        std::ifstream in(dir.Path() + "/Ternwick");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST(LinuxFirewall, FirewalldWhenItRunsDefinesTheServiceOnTheDefaultPort)
{
    // No store below this process's state directory: the port is the service's default.
    Firewalls firewalls({}, {kUfwActive});
    EXPECT_EQ(firewalls.system->Firewall().AddFirewallRule("\"/opt/corvane/sbin/Ternwick\""), 0);
    EXPECT_EQ(firewalls.firewallCmd.Calls(), (Calls{"--state", "--permanent --new-service=Ternwick",
                                                    "--permanent --service=Ternwick --add-port=51056/tcp",
                                                    "--permanent --add-service=Ternwick", "--reload"}));
    EXPECT_EQ(firewalls.ufw.Calls(), Calls{});
}

TEST(LinuxFirewall, UfwWhenActiveElseNothing)
{
    Firewalls active({kFirewalldStopped}, {kUfwActive});
    EXPECT_EQ(active.system->Firewall().AddFirewallRule("\"/x/Ternwick\""), 0);
    EXPECT_EQ(active.ufw.Calls(), (Calls{"status", "allow Ternwick"}));
    EXPECT_NE(active.Profile().find("[Ternwick]\n"), std::string::npos);
    EXPECT_NE(active.Profile().find("\nports=51056/tcp\n"), std::string::npos);

    Firewalls none({kFirewalldStopped}, {kUfwInactive});
    EXPECT_EQ(none.system->Firewall().AddFirewallRule("\"/x/Ternwick\""), 0);
    EXPECT_EQ(none.ufw.Calls(), Calls{"status"});
    EXPECT_FALSE(std::filesystem::exists(none.dir.Path() + "/Ternwick"));

    Firewalls refused({kFirewalldStopped}, {kUfwActive, {"allow*", "ERROR: permission\\n", 1}});
    EXPECT_EQ(refused.system->Firewall().AddFirewallRule("\"/x/Ternwick\""), 1);
}

TEST(LinuxFirewall, PortHookMovesOnlyAnExistingOpening)
{
    Firewalls nothing({kFirewalldStopped}, {kUfwActive});
    std::ostringstream quiet;
    nothing.system->Firewall().FollowPort(51057, quiet);
    EXPECT_EQ(quiet.str(), "");
    EXPECT_EQ(nothing.ufw.Calls(), Calls{});
    EXPECT_FALSE(std::filesystem::exists(nothing.dir.Path() + "/Ternwick"));

    Firewalls both({{"*--get-ports", "51056/tcp 8080/tcp\\n", 0}}, {{"app*", "ERROR: cannot reload\\n", 1}});
    std::ofstream(both.dir.Path() + "/Ternwick") << "[Ternwick]\nports=51056/tcp\n";
    std::ostringstream log;
    both.system->Firewall().FollowPort(51057, log);
    EXPECT_EQ(both.firewallCmd.Calls(),
              (Calls{"--state", "--permanent --info-service=Ternwick", "--permanent --service=Ternwick --get-ports",
                     "--permanent --service=Ternwick --remove-port=51056/tcp",
                     "--permanent --service=Ternwick --remove-port=8080/tcp",
                     "--permanent --service=Ternwick --add-port=51057/tcp", "--reload"}));
    EXPECT_NE(both.Profile().find("\nports=51057/tcp\n"), std::string::npos);
    EXPECT_EQ(log.str(), "cannot move the ufw opening of Ternwick to port 51057: " + both.ufw.Path() +
                             " app update Ternwick (exit 1): ERROR: cannot reload\n");
}

} // namespace
