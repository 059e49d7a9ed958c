#pragma once

#include "ScriptedPeer.h"
#include "protocol/CKeyServerClient.h"

#include <future>
#include <optional>

// A protocol client connected to a scripted key server on loopback. Run executes a client
// operation in a thread of its own while the test plays the server.
class CClientPeer
{
public:
    CClientPeer();

    template <typename Operation> auto Run(Operation operation)
    {
        return std::async(std::launch::async, [this, operation] { return operation(m_client); });
    }

    CKeyServerClient& Client() { return m_client; }
    CScriptedPeer& Peer() { return *m_peer; }

    // The peer reads one packet, checks its bytes and acknowledges it.
    void ExpectAndAck(const std::string& packet);
    // The peer sends a packet and checks that the client acknowledges it.
    void SendAndExpectAck(const std::string& packet);

private:
    CPeerListener m_listener;
    CKeyServerClient m_client;
    std::optional<CScriptedPeer> m_peer;
};
