#pragma once

#include <cstdint>
#include <string>

// The service control manager as the control program uses it, for the one service it
// controls: the seam between the command steps and the platform's service manager.
// Failures carry the system's error numbers where the steps show them.
class CServiceManager
{
public:
    static constexpr uint32_t kErrorFileNotFound = 2;
    static constexpr uint32_t kErrorAccessDenied = 5;
    static constexpr uint32_t kErrorServiceExists = 1073;
    static constexpr uint32_t kErrorNoSuchService = 1060;
    static constexpr uint32_t kControlStop = 1;
    static constexpr uint32_t kControlPause = 2;
    static constexpr uint32_t kControlContinue = 3;

    virtual ~CServiceManager() = default;

    // False when there is no service manager to talk to.
    virtual bool Open() = 0;
    // What to do when Open failed, in one sentence; empty when there is nothing to add.
    virtual std::string OpenAdvice() const { return {}; }
    // What to do when Create failed with the error, in one sentence naming the executable
    // where it matters; empty when the error number says it all.
    virtual std::string CreateAdvice(uint32_t /*error*/, const std::string& /*executablePath*/) const { return {}; }
    // False when this process may not install, control or remove services (it is not the
    // administrator); the state may be read all the same.
    virtual bool MayChangeServices() = 0;
    // Creates the service (automatic start) with its display name and executable; 0 or the
    // error number, 1073 when it exists already, 2 when the executable is missing.
    virtual uint32_t Create(const std::string& displayName, const std::string& executablePath) = 0;
    // 0 when the service exists, else the error number (1060).
    virtual uint32_t OpenExisting() = 0;
    virtual bool ChangeDescription(const std::string& description) = 0;
    // Restart after a failure, after the delay, without limit.
    virtual bool ChangeFailureActions(uint32_t restartDelayMs) = 0;
    // The current state, 1 to 7 as the service reports them.
    virtual bool QueryStatus(uint32_t& state) = 0;
    // 0 once the service runs, else the error number.
    virtual uint32_t Start() = 0;
    virtual bool Control(uint32_t control) = 0;
    virtual bool Delete() = 0;
};
