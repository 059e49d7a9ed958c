#pragma once

#include "CRawUnitClient.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

// The real key service as a child process with its own state directory; its standard
// error goes to a log file, or (without a log path) into a pipe that a thread of this
// program drains, as the journal would. Stopped with SIGTERM (SIGKILL if it will not go)
// at the latest when the object goes.
class CTernwickProcess
{
public:
    CTernwickProcess(std::string binary, std::string stateDir, std::string logPath);
    ~CTernwickProcess();
    CTernwickProcess(const CTernwickProcess&) = delete;
    CTernwickProcess& operator=(const CTernwickProcess&) = delete;

    // Throws std::runtime_error when the program cannot be started.
    void Start();
    // Polls with request 1 until the service answers; false when it does not within the
    // limit or the process ended.
    bool WaitAnswering(const ServiceAddress& address, int timeOutMs);
    bool Running();
    // SIGTERM, then waits up to the limit. The exit code, or -1 when it had to be killed or
    // died of a signal; elapsedMs is the time from the signal to the exit.
    int Stop(int timeOutMs, double* elapsedMs = nullptr);

    pid_t Pid() const { return m_pid; }
    // From /proc/PID/status; -1 when it cannot be read.
    long ResidentKiB() const;
    long PeakResidentKiB() const;
    long ThreadCount() const;
    std::string LogTail(size_t lines) const;
    // Lines read from the pipe so far.
    size_t DrainedLines() const;

private:
    long StatusField(const char* name) const;
    void Drain(int fd);
    void StopDraining();

    std::string m_binary;
    std::string m_stateDir;
    std::string m_logPath;
    pid_t m_pid = -1;
    bool m_reaped = false;
    int m_exitStatus = 0;
    std::thread m_drain;
    mutable std::mutex m_tailLock;
    std::deque<std::string> m_tail;
    size_t m_drainedLines = 0;
};

// A TCP port free on both loopback families right now (the service binds both).
uint16_t FindFreePort();

// The Ternwick binary: the given path, else the one this build produced, else the one
// beside this program's build tree. Empty when none exists.
std::string FindTernwick(const std::string& given);
