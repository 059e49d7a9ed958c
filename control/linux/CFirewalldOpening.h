#pragma once

#include "control/CPortOpening.h"
#include "control/linux/CToolRun.h"

#include <string>

// firewalld: a service definition Ternwick with the TCP port, in the default zone,
// permanent and at run time. Run time learns a new definition only by a reload, which
// also drops changes an administrator made at run time only.
class CFirewalldOpening : public CPortOpening
{
public:
    CFirewalldOpening(const std::string& firewallCmd, CProcessRunner& runner) : m_tool(firewallCmd, runner) {}

    bool IsActive() override;
    bool Exists() override;
    bool Open(uint16_t port) override;
    bool Close() override;
    bool MoveToPort(uint16_t port) override;
    const char* Name() const override { return "firewalld"; }
    const std::string& LastFailure() const override { return m_tool.LastFailure(); }

private:
    bool DefinitionExists();
    bool SetPort(uint16_t port);

    CToolRun m_tool;
};
