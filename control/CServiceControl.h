#pragma once

#include "control/CControlOutput.h"
#include "control/CFirewall.h"
#include "control/CServiceManager.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class CKeyStore;

// One run of the control program: parses the command line and runs the steps of its
// command in their fixed order against the service manager, the firewall and the
// settings store. Steps return 0 or 1; the run's result is the exit code.
class CServiceControl
{
public:
    using Sleeper = std::function<void(int milliseconds)>;

    // The key service's executable is expected in programDirectory.
    CServiceControl(CServiceManager& manager, CFirewall& firewall, CKeyStore& store, CControlOutput& output,
                    std::string programDirectory, Sleeper sleep);

    int Run(std::string_view commandLine);

    // The service's executable in programDirectory.
    std::string ExecutablePath() const;

private:
    struct ControlStep;

    int RunSteps(uint32_t flags);
    // The service could not be opened (error): not installed, or out of reach.
    int NotInstalled(uint32_t flags, uint32_t error);
    // Before an uninstall changes anything: a copy of the keys beside the store, and where
    // it is. Fails (and nothing is uninstalled) when keys exist and cannot be copied.
    int KeepKeys();
    int Install();
    void ReportCreateError(uint32_t error);
    int Start();
    int Control(const ControlStep& step);
    int Delete();
    int ShowStatus();
    // Shows the error itself when the state cannot be read.
    bool QueryState(uint32_t& state);
    std::string QuotedExecutablePath() const;

    CServiceManager& m_manager;
    CFirewall& m_firewall;
    CKeyStore& m_store;
    CControlOutput& m_output;
    std::string m_programDirectory;
    Sleeper m_sleep;
};
