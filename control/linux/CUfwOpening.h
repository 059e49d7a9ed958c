#pragma once

#include "control/CPortOpening.h"
#include "control/linux/CToolRun.h"

#include <string>

// ufw: an application profile Ternwick with the TCP port, and a rule that allows it.
class CUfwOpening : public CPortOpening
{
public:
    CUfwOpening(const std::string& ufw, std::string applicationsDirectory, CProcessRunner& runner)
        : m_tool(ufw, runner), m_profilePath(std::move(applicationsDirectory) + "/Ternwick")
    {}

    bool IsActive() override;
    bool Exists() override;
    bool Open(uint16_t port) override;
    bool Close() override;
    bool MoveToPort(uint16_t port) override;
    const char* Name() const override { return "ufw"; }
    const std::string& LastFailure() const override { return m_tool.LastFailure(); }

private:
    bool WriteProfile(uint16_t port);

    CToolRun m_tool;
    std::string m_profilePath;
};
