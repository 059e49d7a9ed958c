#pragma once

#include <string>

// Where the control program finds systemd, the firewall tools and the unit directory.
// Tests point these at a temporary directory and recording stand-ins. The programs are
// named by absolute path: an administrator's PATH often lacks /usr/sbin.
struct ControlPaths
{
    // Exists only while systemd is the init system.
    std::string systemdRuntime = "/run/systemd/system";
    std::string unitDirectory = "/etc/systemd/system";
    std::string systemctl = "/usr/bin/systemctl";
    std::string firewallCmd = "/usr/bin/firewall-cmd";
    std::string ufw = "/usr/sbin/ufw";
    std::string ufwApplications = "/etc/ufw/applications.d";
};
