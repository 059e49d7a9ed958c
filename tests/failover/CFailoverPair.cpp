#include "CFailoverPair.h"

#include "Wire.h"

#include <chrono>
#include <thread>

namespace {

// The unit asked throughout, one deleted and one registered while a server is away.
enum EUnit
{
    kSteady,
    kDeleted,
    kAdded
};
const CUnitProbe::SUnit kUnits[] = {
    {"020000000001", std::string(32, '\x5C')},
    {"020000000002", std::string(32, '\x11')},
    {"020000000003", std::nullopt},
};
constexpr int kInStepTimeOutMs = 20000;

} // namespace

CFailoverPair::CFailoverPair() : m_units(std::begin(kUnits), std::end(kUnits)) {}

std::string CFailoverPair::Start()
{
    if (!m_network.Problem().empty()) {
        return m_network.Problem();
    }
    for (int server = 0; server < CFailoverNetwork::kServers; ++server) {
        CKeyServerNode::SSetup setup{
            m_network.ServerNamespace(server),
            CFailoverNetwork::ServerAddress(server),
            CFailoverNetwork::ServerAddress(1 - server),
            CFailoverNetwork::FloatingAddress(),
            server == 0 ? 100 : 90,
            {},
        };
        for (const CUnitProbe::SUnit& unit : m_units) {
            if (server == 0 && unit.key) {
                setup.keys.emplace_back(unit.id, *unit.key);
            }
        }
        m_servers[server] = std::make_unique<CKeyServerNode>(setup);
        if (!m_servers[server]->Problem().empty()) {
            return m_servers[server]->Problem();
        }
    }
    if (!Pair()) {
        return "cannot pair the servers with corvane-admin peer add";
    }
    for (const auto& node : m_servers) {
        if (!node->StartService()) {
            return node->Problem();
        }
    }
    // Both start as backups, and the first whose wait for an advertisement ends takes the
    // address: with the higher priority server 0's ends only 40 ms sooner, so server 1's
    // keepalived starts once server 0 holds it.
    if (!m_servers[0]->StartKeepalived()) {
        return m_servers[0]->Problem();
    }
    if (!WaitInStep(1, kInStepTimeOutMs)) {
        return "server 1 did not get the keys registered on server 0:\n" + Report();
    }
    if (!WaitForHolder(0, 20000) || !m_servers[1]->StartKeepalived()) {
        return "server 0 did not take the address:\n" + Report() + m_servers[1]->Problem();
    }
    m_unit = std::make_unique<CUnitProbe>(m_network.UnitNamespace(), CFailoverNetwork::FloatingAddress(),
                                          CKeyServerNode::kPort, m_units);
    if (!m_unit->WaitServedAfter(CUnitProbe::Clock::now(), 20000)) {
        return "the pair did not come up:\n" + Report();
    }
    return "";
}

bool CFailoverPair::Pair()
{
    // As an administrator would: the secret made on one server is given to the other.
    std::string shown;
    if (m_servers[0]->Admin({"peer", "add", "server-1", CFailoverNetwork::ServerAddress(1)}, "", &shown) != 0) {
        return false;
    }
    const size_t end = shown.find_last_not_of('\n');
    const size_t start = shown.find_last_of('\n', end);
    const std::string secret = shown.substr(start + 1, end - start);
    std::string out;
    return secret.size() == 64 &&
           m_servers[1]->Admin({"peer", "add", "server-0", CFailoverNetwork::ServerAddress(0), "--secret-stdin"},
                               secret, &out) == 0;
}

bool CFailoverPair::ChangeKeys(int server, std::string* problem)
{
    CKeyServerNode& node = *m_servers[server];
    ++m_changes;
    CUnitProbe::SUnit& added = m_units[kAdded];
    added.key = std::string(32, static_cast<char>(0x30 + m_changes % 64));
    CUnitProbe::SUnit& deleted = m_units[kDeleted];
    deleted.key = deleted.key ? std::nullopt : kUnits[kDeleted].key;
    const bool changed = m_unit->Change(added, [&] {
        return node.Store({"key", added.id, Wire::Hex(*added.key)}) == 0;
    }) && m_unit->Change(deleted, [&] {
        return node.Store(deleted.key ? std::vector<std::string>{"key", deleted.id, Wire::Hex(*deleted.key)}
                                      : std::vector<std::string>{"delete", deleted.id}) == 0;
    });
    if (!changed) {
        *problem = "cannot change the keys on server " + std::to_string(server);
    }
    return changed;
}

bool CFailoverPair::InStep(int server)
{
    return CFailoverNetwork::In(m_network.UnitNamespace(), [this, server] {
        for (const CUnitProbe::SUnit& unit : m_units) {
            if (!CUnitProbe::Serves(CFailoverNetwork::ServerAddress(server), CKeyServerNode::kPort, unit)) {
                return false;
            }
        }
        return true;
    });
}

std::optional<CUnitProbe::Clock::time_point> CFailoverPair::WaitInStep(int server, int timeOutMs)
{
    const auto deadline = CUnitProbe::Clock::now() + std::chrono::milliseconds(timeOutMs);
    while (!InStep(server)) {
        if (CUnitProbe::Clock::now() > deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return CUnitProbe::Clock::now();
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
