#include "CFailoverNetwork.h"

#include "CChildProcess.h"

#include <cstdlib>
#include <fcntl.h>
#include <sched.h>
#include <stdexcept>
#include <unistd.h>

namespace {

// The member's end of its link in the bridge's namespace: s0, s1 or u.
std::string BridgePort(const std::string& member, const std::string& unit)
{
    return member == unit ? "u" : "s" + member.substr(member.size() - 1);
}

} // namespace

CFailoverNetwork::CFailoverNetwork()
{
    const std::string tag = "cvf" + std::to_string(getpid());
    m_bridge = tag + "br";
    m_unit = tag + "u";
    for (int server = 0; server < kServers; ++server) {
        m_servers[server] = tag + "s" + std::to_string(server);
    }
    if (geteuid() != 0) {
        m_problem = "needs root to make network namespaces";
        return;
    }
    bool up = Run("ip netns add " + m_bridge) && Run("ip -n " + m_bridge + " link add br0 type bridge") &&
              Run("ip -n " + m_bridge + " link set br0 up");
    for (const std::string& member : {m_servers[0], m_servers[1], m_unit}) {
        up = up && Run("ip netns add " + member) && Run("ip -n " + member + " link set lo up");
    }
    up = up && Plug(0) && Plug(1) && Link(m_unit, UnitAddress());
    if (!up && m_problem.empty()) {
        m_problem = "cannot set up the network namespaces";
    }
}

CFailoverNetwork::~CFailoverNetwork()
{
    for (const std::string& name : {m_unit, m_servers[0], m_servers[1], m_bridge}) {
        Harness::RunQuietly("ip netns del " + name);
    }
}

bool CFailoverNetwork::Unplug(int server)
{
    // Either end of a veth pair takes the other with it.
    return Run("ip -n " + m_bridge + " link del " + BridgePort(m_servers[server], m_unit));
}

bool CFailoverNetwork::Plug(int server)
{
    return Link(m_servers[server], ServerAddress(server));
}

bool CFailoverNetwork::Link(const std::string& name, const std::string& address)
{
    const std::string port = BridgePort(name, m_unit);
    // The member's own hardware address, the same on every new link, as a cable put back
    // keeps it: the others' neighbour tables stay right.
    const std::string hardware = "02:00:0a:4e:00:" + address.substr(address.rfind('.') + 1);
    return Run("ip -n " + m_bridge + " link add " + port + " type veth peer name eth0 netns " + name + " address " +
               hardware) &&
           Run("ip -n " + m_bridge + " link set " + port + " master br0 up") &&
           Run("ip -n " + name + " addr add " + address + "/24 dev eth0") && Run("ip -n " + name + " link set eth0 up");
}

bool CFailoverNetwork::Run(const std::string& command)
{
    if (Harness::RunQuietly(command) == 0) {
        return true;
    }
    m_problem = "'" + command + "' failed";
    return false;
}

bool CFailoverNetwork::Enter(const std::string& name)
{
    const int fd = open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    const bool entered = fd >= 0 && setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0) {
        close(fd);
    }
    return entered;
}
