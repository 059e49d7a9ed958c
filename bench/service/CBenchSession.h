#pragma once

#include "CRawUnitClient.h"
#include "Harness.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct BenchOptions
{
    std::string ternwick;     // the service binary; the one of this build tree when empty
    std::string logPath;      // where the service's standard error goes; inside the state dir when empty
    int clients = 16;         // concurrent clients of a load run
    size_t keys = 1000;       // registered keys of a load run
    double seconds = 10.0;    // length of one measured load run
    double warmupSeconds = 1; // unmeasured load before it
    int timeOutMs = 5000;     // per wait of a client
    int trials = 20;          // port changes, registrations
    int idleConnections = 1000;
    bool ipv6 = false;
    bool quickAck = false;    // diagnosis only: see CRawUnitClient
    bool pipeLog = false;     // the service logs into a pipe this program drains
    bool check = false;       // versus, syscalls: request 1 instead of request 16
    int rounds = 5;           // versus: alternating rounds
    int minimalThreads = 4;   // versus: threads of the minimal server blocking in accept()
    int loadThreads = 2;      // 0: a blocking thread per client
    uint16_t attachPort = 0;  // load only: a running service whose store holds the bench keys
    int pushers = 200;        // hostile-push
    size_t pushPairs = 11396; // pairs each hostile pusher sends: as many as one request may hold
    size_t stormUnits = 1000; // storm: units that ask at once
};

// One measurement set-up: a private state directory (made this process's store before its
// first use), the keys registered in it, a free port in PortNo, and the real service
// running on that store.
class CBenchSession
{
public:
    // Throws std::runtime_error when the set-up fails.
    explicit CBenchSession(const BenchOptions& options);
    ~CBenchSession();

    // Registers units [registered, count) through the store, as the console would.
    void RegisterUpTo(size_t count);
    size_t Registered() const { return m_registered; }

    void StartService();
    // SIGTERM; prints how long the service took to go and its exit code. True for code 0.
    bool StopService();

    uint16_t Port() const { return m_port; }
    void SetPort(uint16_t port) { m_port = port; }
    ServiceAddress Address() const { return ServiceAddress::Loopback(m_port, m_options.ipv6); }
    ServiceAddress AddressOf(uint16_t port) const { return ServiceAddress::Loopback(port, m_options.ipv6); }
    Harness::CTernwickProcess& Service() { return *m_service; }
    const BenchOptions& Options() const { return m_options; }

private:
    const BenchOptions m_options;
    Harness::CTempDir m_stateDir;
    std::string m_binary;
    std::unique_ptr<Harness::CTernwickProcess> m_service;
    uint16_t m_port = 0;
    size_t m_registered = 0;
};
