#include "CLinuxFirewall.h"

#include "control/CPortOpening.h"
#include "platform/SafeText.h"
#include "settings/CKeyStore.h"

#include <ostream>

int CLinuxFirewall::AddFirewallRule(const std::string& /*quotedPath*/)
{
    for (CPortOpening* opening : {&m_firewalld, &m_ufw}) {
        if (opening->IsActive()) {
            // Before the service's first start the store holds no port yet; the service
            // will create the default one.
            const uint16_t port = m_store.ReadPort();
            return opening->Open(port != 0 ? port : CKeyStore::kDefaultPort) ? 0 : 1;
        }
    }
    return 0;
}

int CLinuxFirewall::RemoveFirewallRule(const std::string& /*quotedPath*/)
{
    int result = 0;
    for (CPortOpening* opening : {&m_firewalld, &m_ufw}) {
        if (opening->Exists() && !opening->Close()) {
            result = 1;
        }
    }
    return result;
}

void CLinuxFirewall::FollowPort(uint16_t port, std::ostream& log)
{
    for (CPortOpening* opening : {&m_firewalld, &m_ufw}) {
        if (opening->Exists() && !opening->MoveToPort(port)) {
            log << "cannot move the " << opening->Name() << " opening of Ternwick to port " << port << ": "
                << SafeText(opening->LastFailure()) << "\n";
        }
    }
}
