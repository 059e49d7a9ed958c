#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace Harness {

// The real service in a process of its own, on a private state directory.
class CTernwickProcess
{
public:
    // Starts the service on the state directory, logging to a file there (or to logPath,
    // which may be a FIFO whose reading end is open); with a descriptor limit, under that
    // limit (soft and hard); with a machine-id file, seeing it as /etc/machine-id (see
    // UnderMachineIdentity).
    CTernwickProcess(const std::string& stateDir, const std::string& notifySocket, int descriptorLimit = 0,
                     const std::string& logPath = "", const std::string& machineIdFile = "");
    ~CTernwickProcess();
    CTernwickProcess(const CTernwickProcess&) = delete;
    CTernwickProcess& operator=(const CTernwickProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    void Signal(int signalNumber) const;
    // The wait status once the process ended within the time, else nullopt.
    std::optional<int> WaitExit(int timeOutMs);
    // The log written so far; empty when it does not go to a regular file.
    std::string Log() const;
    // Waits until the log holds at least count lines containing text.
    bool WaitForLog(const std::string& text, size_t count, int timeOutMs) const;
    size_t CountLog(const std::string& text) const;
    // Threads of the process now; -1 when it cannot be read.
    long ThreadCount() const;
    // A number of /proc/PID/status ("VmHWM" in KiB: the most memory it held), -1 if none.
    long StatusField(const std::string& field) const;

private:
    pid_t m_pid = -1;
    std::string m_logPath;
    std::optional<int> m_status;
};

} // namespace Harness
