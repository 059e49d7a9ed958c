#pragma once

#include "control/CFirewall.h"

#include <cstdint>
#include <iosfwd>

class CKeyStore;
class CPortOpening;

// The firewall on Linux, where rules are per port rather than per program: firewalld when
// it runs, else ufw when it is active, else there is nothing to open. The port is the
// service's configured one. Removal takes away whichever opening is there.
class CLinuxFirewall : public CFirewall
{
public:
    CLinuxFirewall(CPortOpening& firewalld, CPortOpening& ufw, CKeyStore& store)
        : m_firewalld(firewalld), m_ufw(ufw), m_store(store)
    {}

    // The path is not used: the opening is for the service's port.
    int AddFirewallRule(const std::string& quotedPath) override;
    int RemoveFirewallRule(const std::string& quotedPath) override;
    // Moves an opening that AddFirewallRule made to the port, and opens nothing else.
    // Failures are written to the log.
    void FollowPort(uint16_t port, std::ostream& log);

private:
    CPortOpening& m_firewalld;
    CPortOpening& m_ufw;
    CKeyStore& m_store;
};
