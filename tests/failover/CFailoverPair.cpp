#include "CFailoverPair.h"

#include <chrono>
#include <thread>

CFailoverPair::CFailoverPair() = default;

std::string CFailoverPair::Start()
{
    if (!m_network.Problem().empty()) {
        return m_network.Problem();
    }
    for (int server = 0; server < CFailoverNetwork::kServers; ++server) {
        m_servers[server] = std::make_unique<CKeyServerNode>(CKeyServerNode::SSetup{
            m_network.ServerNamespace(server),
            CFailoverNetwork::ServerAddress(server),
            CFailoverNetwork::ServerAddress(1 - server),
            CFailoverNetwork::FloatingAddress(),
            server == 0 ? 100 : 90,
            {{kUnitId, UnitKey()}, {"020000000002", std::string(32, '\x11')}},
        });
        CKeyServerNode& node = *m_servers[server];
        if (!node.Problem().empty() || !node.StartService() || !node.StartKeepalived()) {
            return node.Problem();
        }
    }
    m_unit = std::make_unique<CUnitProbe>(m_network.UnitNamespace(), CFailoverNetwork::FloatingAddress(),
                                          CKeyServerNode::kPort, kUnitId, UnitKey());
    if (!WaitForHolder(0, 20000) || !m_unit->WaitServedAfter(CUnitProbe::Clock::now(), 20000)) {
        return "the pair did not come up:\n" + Report();
    }
    return "";
}

int CFailoverPair::Holder()
{
    const bool first = m_servers[0]->HoldsAddress();
    return first == m_servers[1]->HoldsAddress() ? -1 : first ? 0 : 1;
}

bool CFailoverPair::WaitForHolder(int server, int timeOutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeOutMs);
    while (Holder() != server) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::string CFailoverPair::Report()
{
    std::string report;
    for (const auto& server : m_servers) {
        report += server ? server->Report() : "";
    }
    return report;
}
