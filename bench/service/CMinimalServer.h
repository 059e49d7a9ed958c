#pragma once

#include "BenchKeys.h"

#include <cstdint>
#include <map>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// The least a server of this protocol can do, as a yardstick for the service: keys in a
// map in memory, threads (four unless told) blocking in accept() on one IPv4 listener,
// TCP_NODELAY, each packet sent in one call. It answers request 1 and request 16 byte for byte as the
// service does; it has no store, no log, no limits and no time-outs.
class CMinimalServer
{
public:
    // Units 0 to units-1 of the bench keys. Throws std::runtime_error when it cannot listen.
    CMinimalServer(size_t units, int threads);
    ~CMinimalServer();
    CMinimalServer(const CMinimalServer&) = delete;
    CMinimalServer& operator=(const CMinimalServer&) = delete;

    uint16_t Port() const { return m_port; }

private:
    void Accept() const;
    void Serve(int fd) const;
    bool GetKey(int fd) const;

    std::map<std::string, LockKey> m_keys;
    int m_listener = -1;
    uint16_t m_port = 0;
    std::vector<std::thread> m_threads;
};

// A minimal server in a process of its own, as the service is: switching between it and
// the clients costs what switching to the service costs (an in-process server would share
// the clients' address space and switch for less). Ends with this object.
class CMinimalServerProcess
{
public:
    // Throws std::runtime_error when the process cannot be started or cannot listen.
    CMinimalServerProcess(size_t units, int threads);
    ~CMinimalServerProcess();
    CMinimalServerProcess(const CMinimalServerProcess&) = delete;
    CMinimalServerProcess& operator=(const CMinimalServerProcess&) = delete;

    uint16_t Port() const { return m_port; }
    pid_t Pid() const { return m_pid; }

private:
    void Stop();

    pid_t m_pid = -1;
    uint16_t m_port = 0;
};
