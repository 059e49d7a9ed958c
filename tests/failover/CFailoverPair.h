#pragma once

#include "CFailoverNetwork.h"
#include "CKeyServerNode.h"
#include "CUnitProbe.h"

#include <memory>
#include <string>

// Two key servers with the same keys behind one floating address, and a unit asking that
// address for its key all the time.
class CFailoverPair
{
public:
    // The unit's identifier and key, registered on both servers.
    static constexpr const char* kUnitId = "020000000001";

    CFailoverPair();
    CFailoverPair(const CFailoverPair&) = delete;
    CFailoverPair& operator=(const CFailoverPair&) = delete;

    // Brings the network, both servers and the unit up; empty when the unit is served, else
    // why not. Server 0 has the higher priority and so takes the address first.
    std::string Start();

    CFailoverNetwork& Network() { return m_network; }
    CKeyServerNode& Server(int server) { return *m_servers[server]; }
    CUnitProbe& Unit() { return *m_unit; }
    static std::string UnitKey() { return std::string(32, '\x5C'); }

    // The one server that holds the floating address, -1 when none or both do.
    int Holder();
    bool WaitForHolder(int server, int timeOutMs);
    std::string Report();

private:
    CFailoverNetwork m_network;
    std::unique_ptr<CKeyServerNode> m_servers[CFailoverNetwork::kServers];
    std::unique_ptr<CUnitProbe> m_unit;
};
