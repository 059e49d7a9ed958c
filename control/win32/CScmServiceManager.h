#pragma once

#include "control/CServiceManager.h"

#include <memory>
#include <string>

// The Windows service control manager, for the one service the control program controls:
// a service of its own process, started automatically, running as LocalSystem.
class CScmServiceManager : public CServiceManager
{
public:
    // QueryOnly opens with the rights to read the state alone, which every user has.
    enum class EAccess
    {
        Change,
        QueryOnly,
    };

    explicit CScmServiceManager(std::string serviceName = "Ternwick", EAccess access = EAccess::Change);
    ~CScmServiceManager() override;
    CScmServiceManager(const CScmServiceManager&) = delete;
    CScmServiceManager& operator=(const CScmServiceManager&) = delete;

    // For Change with the right to create services, which only administrators have.
    bool Open() override;
    // Open has asked for the right already.
    bool MayChangeServices() override { return m_access == EAccess::Change; }
    // The executable path is put between double quotes, so that a directory with blanks
    // names the program and not its first word.
    uint32_t Create(const std::string& displayName, const std::string& executablePath) override;
    std::string CreateAdvice(uint32_t error, const std::string& executablePath) const override;
    uint32_t OpenExisting() override;
    bool ChangeDescription(const std::string& description) override;
    bool ChangeFailureActions(uint32_t restartDelayMs) override;
    bool QueryStatus(uint32_t& state) override;
    // Waits (at most 30 s) until the service runs or has stopped; a stop is the service's
    // exit code, or 1067 when it gave none.
    uint32_t Start() override;
    bool Control(uint32_t control) override;
    bool Delete() override;

private:
    struct Handles;

    std::string m_serviceName;
    EAccess m_access;
    std::unique_ptr<Handles> m_handles;
};
