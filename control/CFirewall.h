#pragma once

#include <string>

// Lets the key service through the firewall and takes the permission back: the seam
// between the install and uninstall steps and the platform's firewall. Results: 0
// success, 1 failure.
class CFirewall
{
public:
    virtual ~CFirewall() = default;
    // The service's executable path, already between double quotes.
    virtual int AddFirewallRule(const std::string& quotedPath) = 0;
    virtual int RemoveFirewallRule(const std::string& quotedPath) = 0;
};
