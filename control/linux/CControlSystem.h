#pragma once

#include "control/ControlPaths.h"
#include "control/linux/CFirewalldOpening.h"
#include "control/linux/CLinuxFirewall.h"
#include "control/linux/CSpawnProcessRunner.h"
#include "control/linux/CSystemdServiceManager.h"
#include "control/linux/CUfwOpening.h"
#include "settings/CKeyStore.h"

// The control program's platform parts, chosen in this one place: systemd as the
// service manager and the port-based firewall, over real processes.
class CControlSystem
{
public:
    explicit CControlSystem(const ControlPaths& paths = ControlPaths());
    CControlSystem(const CControlSystem&) = delete;
    CControlSystem& operator=(const CControlSystem&) = delete;

    CServiceManager& Manager() { return m_manager; }
    CLinuxFirewall& Firewall() { return m_firewall; }
    CKeyStore& Store() { return m_store; }

private:
    CSpawnProcessRunner m_runner;
    CSystemdServiceManager m_manager;
    CFirewalldOpening m_firewalld;
    CUfwOpening m_ufw;
    CKeyStore m_store;
    CLinuxFirewall m_firewall;
};
