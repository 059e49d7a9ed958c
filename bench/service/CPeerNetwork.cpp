#include "CPeerNetwork.h"

#include "CChildProcess.h"

#include <fcntl.h>
#include <sched.h>
#include <stdexcept>
#include <unistd.h>
#include <vector>

CPeerNetwork::CPeerNetwork() : m_service("cvbs" + std::to_string(getpid())), m_peers("cvbp" + std::to_string(getpid()))
{
    if (geteuid() != 0) {
        m_problem = "needs root to make network namespaces";
        return;
    }
    const std::string& s = m_service;
    const std::string& p = m_peers;
    const std::vector<std::string> commands = {
        "ip netns add " + s,
        "ip netns add " + p,
        "ip link add " + s + " netns " + s + " type veth peer name " + p + " netns " + p,
        "ip -n " + s + " link set lo up",
        "ip -n " + p + " link set lo up",
        "ip -n " + s + " addr add 10.0.0.1/24 dev " + s,
        "ip -n " + p + " addr add 10.0.0.10/24 dev " + p,
        "ip -n " + s + " addr add 2001:db8:1::1/64 dev " + s + " nodad",
        "ip -n " + p + " addr add 2001:db8:1::10/64 dev " + p + " nodad",
        "ip -n " + p + " addr add 2001:db8:1::20/64 dev " + p + " nodad",
        "ip -n " + s + " link set " + s + " up",
        "ip -n " + p + " link set " + p + " up",
    };
    for (const std::string& command : commands) {
        if (Harness::RunQuietly(command) != 0) {
            m_problem = "'" + command + "' failed";
            return;
        }
    }
}

CPeerNetwork::~CPeerNetwork()
{
    if (geteuid() != 0) {
        return;
    }
    for (const std::string& name : {m_service, m_peers}) {
        Harness::RunQuietly("ip netns del " + name);
    }
}

void CPeerNetwork::Enter(const std::string& name)
{
    if (name.empty()) {
        return;
    }
    const int fd = open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    const bool entered = fd >= 0 && setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0) {
        close(fd);
    }
    if (!entered) {
        throw std::runtime_error("cannot enter the network namespace " + name);
    }
}
