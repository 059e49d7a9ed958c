#pragma once

#include <future>
#include <stdexcept>
#include <string>
#include <utility>

// The network of a pair of key servers and a unit: a bridge in a network namespace of its
// own and a veth pair from it into each member's namespace (eth0 there), so that nothing
// touches this machine's network. Servers 0 and 1 have 10.78.0.1 and 10.78.0.2, the unit
// 10.78.0.20, all in 10.78.0.0/24. Needs root and iproute2; everything goes with the object.
class CFailoverNetwork
{
public:
    static constexpr int kServers = 2;

    CFailoverNetwork();
    ~CFailoverNetwork();
    CFailoverNetwork(const CFailoverNetwork&) = delete;
    CFailoverNetwork& operator=(const CFailoverNetwork&) = delete;

    // Empty when the network is up, else why not.
    const std::string& Problem() const { return m_problem; }

    const std::string& ServerNamespace(int server) const { return m_servers[server]; }
    const std::string& UnitNamespace() const { return m_unit; }
    static std::string ServerAddress(int server) { return "10.78.0." + std::to_string(server + 1); }
    static std::string UnitAddress() { return "10.78.0.20"; }
    // Free on the network, for the pair to move between them.
    static std::string FloatingAddress() { return "10.78.0.10"; }

    // Pulls the server's cable: its link goes, and every address on it (a floating one
    // too). Plug gives it a new link with its own address. False when a command failed.
    bool Unplug(int server);
    bool Plug(int server);

    // Puts the calling thread into the namespace: the sockets and processes it makes
    // from then on belong there.
    static bool Enter(const std::string& name);
    // Runs what on a thread of its own in the namespace and returns its result.
    template <typename What> static auto In(const std::string& name, What&& what)
    {
        return std::async(std::launch::async,
                          [name, what = std::forward<What>(what)]() mutable {
                              if (!Enter(name)) {
                                  throw std::runtime_error("cannot enter the network namespace " + name);
                              }
                              return what();
                          })
            .get();
    }

private:
    bool Link(const std::string& name, const std::string& address);
    bool Run(const std::string& command);

    std::string m_bridge;
    std::string m_servers[kServers];
    std::string m_unit;
    std::string m_problem;
};
