#include "CControlSystem.h"

CControlSystem::CControlSystem(const ControlPaths& paths)
    : m_manager(paths, m_runner), m_firewalld(paths.firewallCmd, m_runner),
      m_ufw(paths.ufw, paths.ufwApplications, m_runner), m_firewall(m_firewalld, m_ufw, m_store)
{}
