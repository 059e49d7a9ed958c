#pragma once

#include "CChildProcess.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace Harness {

// The real service in a process of its own, on a private state directory; killed at the
// latest when the object goes.
class CTernwickProcess
{
public:
    struct SOptions
    {
        std::string binary;        // empty: the one this build produced
        std::string notifySocket;  // the service manager's socket it reports to, if any
        int descriptorLimit = 0;   // soft and hard, when above 0
        std::string logPath;       // empty: a file in the state directory
        bool logToPipe = false;    // standard output and error drained by a thread, as the journal does
        std::string machineIdFile; // seen as /etc/machine-id (see UnderMachineIdentity)
    };

    // Starts the service on the state directory, logging to a file there (or to logPath,
    // which may be a FIFO whose reading end is open); with a descriptor limit, under that
    // limit (soft and hard); with a machine-id file, seeing it as /etc/machine-id.
    CTernwickProcess(const std::string& stateDir, const std::string& notifySocket, int descriptorLimit = 0,
                     const std::string& logPath = "", const std::string& machineIdFile = "");
    CTernwickProcess(const std::string& stateDir, const SOptions& options);
    ~CTernwickProcess();
    CTernwickProcess(const CTernwickProcess&) = delete;
    CTernwickProcess& operator=(const CTernwickProcess&) = delete;

    // -1 when it could not be started.
    pid_t Pid() const { return m_child.Pid() > 0 ? static_cast<pid_t>(m_child.Pid()) : -1; }
    void Signal(int signalNumber) { m_child.Signal(signalNumber); }
    // The wait status once the process ended within the time, else nullopt.
    std::optional<int> WaitExit(int timeOutMs) { return m_child.WaitExit(timeOutMs); }
    bool Running() { return m_child.Running(); }
    // SIGTERM, then up to the time for the exit, then SIGKILL. The exit code, or -1 when it
    // had to be killed or died of a signal; elapsedMs is the time from the signal to the end.
    int Stop(int timeOutMs, double* elapsedMs = nullptr);

    // The log written so far: the file's text, or the lines drained from the pipe that are
    // still kept; empty when it goes to a FIFO.
    std::string Log() const;
    std::string LogTail(size_t lines) const;
    // What this process wrote: a log file kept in the state folder holds earlier runs too.
    std::string OwnLog() const;
    // Waits until the log holds at least count lines containing text.
    bool WaitForLog(const std::string& text, size_t count, int timeOutMs) const;
    size_t CountLog(const std::string& text) const;
    // Whether the service ended because another program held its port.
    bool FoundPortTaken(uint16_t port) const;
    // Lines drained from the pipe so far.
    size_t DrainedLines() const;

    // From /proc/PID/status; -1 when they cannot be read.
    long ThreadCount() const { return StatusField("Threads"); }
    long ResidentKiB() const { return StatusField("VmRSS"); }
    long PeakResidentKiB() const { return StatusField("VmHWM"); }

private:
    long StatusField(const char* name) const;
    // The log file from offset on, or the lines drained from the pipe that are still kept.
    std::string LogFrom(size_t offset) const;
    void Drain();

    std::string m_logPath;
    size_t m_logStart = 0;
    CChildProcess m_child;
    std::thread m_drain;
    mutable std::mutex m_tailLock;
    std::deque<std::string> m_tail;
    size_t m_drainedLines = 0;
};

// The Ternwick binary: the given path when it exists, else the one this build produced.
// Empty when none exists.
std::string FindTernwick(const std::string& given);

} // namespace Harness
