#pragma once

#include "control/CServiceManager.h"
#include "control/ControlPaths.h"

#include <string>
#include <utility>
#include <vector>

class CProcessRunner;

// The service manager under systemd, reached through systemctl: the service is a unit
// file written from the compiled-in template into the unit directory, enabled for boot;
// pause and continue are SIGUSR1 and SIGUSR2 to its main process; its state is read from
// the status text the service reports. Edits of the unit are loaded (daemon-reload)
// before the next systemctl call.
class CSystemdServiceManager : public CServiceManager
{
public:
    static constexpr uint32_t kErrorInvalidParameter = 87;
    static constexpr uint32_t kErrorProcessAborted = 1067;
    static constexpr uint32_t kErrorRequestTimeout = 1053;

    CSystemdServiceManager(const ControlPaths& paths, CProcessRunner& runner, std::string serviceName = "Ternwick");
    // Loads edits that no later call has loaded yet.
    ~CSystemdServiceManager() override;
    CSystemdServiceManager(const CSystemdServiceManager&) = delete;
    CSystemdServiceManager& operator=(const CSystemdServiceManager&) = delete;

    bool Open() override;
    std::string OpenAdvice() const override;
    std::string CreateAdvice(uint32_t error, const std::string& executablePath) const override;
    // Root, or a user who may write the unit directory (tests).
    bool MayChangeServices() override;
    uint32_t Create(const std::string& displayName, const std::string& executablePath) override;
    uint32_t OpenExisting() override;
    bool ChangeDescription(const std::string& description) override;
    bool ChangeFailureActions(uint32_t restartDelayMs) override;
    bool QueryStatus(uint32_t& state) override;
    uint32_t Start() override;
    bool Control(uint32_t control) override;
    bool Delete() override;

    // The state (1 to 7) from the properties ActiveState, SubState and StatusText; 0
    // when they say nothing usable.
    static uint32_t StateFromProperties(const std::string& showOutput);

private:
    std::string UnitName() const { return m_serviceName + ".service"; }
    std::string UnitPath() const;
    int Systemctl(std::vector<std::string> arguments, std::string* output = nullptr);
    bool EditUnit(const std::string& section, const std::vector<std::pair<std::string, std::string>>& settings);
    uint32_t RegisterUnit();

    ControlPaths m_paths;
    CProcessRunner& m_runner;
    std::string m_serviceName;
    bool m_reloadPending = false;
};
