#pragma once

#include "CFailoverNetwork.h"
#include "CKeyServerNode.h"
#include "CUnitProbe.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Two key servers paired by peer sync behind one floating address, and units asking that
// address for their keys all the time.
class CFailoverPair
{
public:
    CFailoverPair();
    CFailoverPair(const CFailoverPair&) = delete;
    CFailoverPair& operator=(const CFailoverPair&) = delete;

    // Brings the network and both servers up, pairs them, registers the units' keys on
    // server 0 only and waits until server 1 serves them too; starts keepalived on server 0,
    // which takes the address, then on server 1, and then the units. Empty when the units
    // are served, else why not.
    std::string Start();

    CFailoverNetwork& Network() { return m_network; }
    CKeyServerNode& Server(int server) { return *m_servers[server]; }
    CUnitProbe& Unit() { return *m_unit; }

    // Changes the keys on server, as an administrator would while the other one is away:
    // a new key for one unit (registered the first time), and another unit deleted (or
    // registered again when it was deleted). The units expect them from then on.
    bool ChangeKeys(int server, std::string* problem);
    // When server itself, asked at its own address, first served every unit as registered;
    // nullopt when it did not within the time.
    std::optional<CUnitProbe::Clock::time_point> WaitInStep(int server, int timeOutMs);

    // The one server that holds the floating address, -1 when none or both do.
    int Holder();
    bool WaitForHolder(int server, int timeOutMs);
    std::string Report();

private:
    bool Pair();
    bool InStep(int server);

    CFailoverNetwork m_network;
    std::unique_ptr<CKeyServerNode> m_servers[CFailoverNetwork::kServers];
    std::vector<CUnitProbe::SUnit> m_units; // as registered now
    int m_changes = 0;
    std::unique_ptr<CUnitProbe> m_unit;
};
