#pragma once

#include <string>

// The service and its peers in two network namespaces joined by a veth pair, so that the
// peers' addresses are not the service's own (those would all count as this machine). The
// service's side has 10.0.0.1/24 and 2001:db8:1::1/64; the peers' side 10.0.0.10 and
// 2001:db8:1::10 and ::20, two addresses in one /64. Needs root and iproute2; the
// namespaces go with the object.
class CPeerNetwork
{
public:
    CPeerNetwork();
    ~CPeerNetwork();
    CPeerNetwork(const CPeerNetwork&) = delete;
    CPeerNetwork& operator=(const CPeerNetwork&) = delete;

    // Empty when the network is up, else why not.
    const std::string& Problem() const { return m_problem; }
    const std::string& ServiceNamespace() const { return m_service; }
    const std::string& PeerNamespace() const { return m_peers; }

    // Puts the calling thread into the named namespace (nothing for ""): the sockets,
    // threads and processes it makes from then on belong there.
    static void Enter(const std::string& name);

private:
    std::string m_service;
    std::string m_peers;
    std::string m_problem;
};
