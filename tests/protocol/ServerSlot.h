#pragma once

#include "ScriptedPeer.h"
#include "net/CStrmSrvSocket.h"
#include "protocol/CRequestConnection.h"

#include <future>
#include <memory>
#include <optional>

// A real server socket on a loopback port with one accepted connection whose far end is a
// scripted peer. Serve runs an operation on the service's end in a thread of its own; the
// connection object ends (and closes the connection) when the operation returns or throws.
class CServerSlot
{
public:
    static constexpr int kReadTimeOut = 20000;

    CServerSlot();

    template <typename Operation> auto Serve(Operation operation)
    {
        return std::async(std::launch::async, [server = m_server, index = m_index, operation] {
            CRequestConnection connection(server, index);
            return operation(connection);
        });
    }

    CScriptedPeer& Peer() { return *m_peer; }
    const std::shared_ptr<ZiRez::CStrmSrvSocket>& Server() const { return m_server; }
    int Index() const { return m_index; }

private:
    std::shared_ptr<ZiRez::CStrmSrvSocket> m_server;
    std::optional<CScriptedPeer> m_peer;
    int m_index = -1;
};
