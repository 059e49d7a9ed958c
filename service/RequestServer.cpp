#include "RequestServer.h"

#include "ConnectionThread.h"
#include "Log.h"
#include "ServiceHost.h"
#include "net/CSocketError.h"
#include "net/CStrmSrvSocket.h"
#include "net/StackProbe.h"
#include "settings/CKeyStore.h"

#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <string>
#include <sys/socket.h>

namespace {

// Starts a detached connection thread that takes over the hand-over block; false (the
// block stays with the caller) when it cannot.
bool StartConnectionThread(std::unique_ptr<AcceptHandover>& handover, size_t stackSize)
{
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return false;
    }
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    int result = pthread_attr_setstacksize(&attributes, stackSize);
    if (result == 0) {
        pthread_t thread;
        result = pthread_create(&thread, &attributes, ConnectionThread, handover.get());
    }
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        LogLine(std::string("cannot start a connection thread: ") + std::strerror(result) +
                "; that connection is closed");
        return false;
    }
    handover.release();
    return true;
}

// Every reply is a few small writes (header, payload, status) each awaiting the peer's
// acknowledgement; with Nagle's algorithm each would wait for the peer's delayed ACK.
// Accepted sockets inherit the option from their listener.
void DisableNagle(ZiRez::CServerSocket& server)
{
    const int one = 1;
    for (const int listener : {server.BaseSocket().IPv4Socket(), server.BaseSocket().IPv6Socket()}) {
        if (listener != ZiRez::INVALID_SOCKET_HANDLE) {
            setsockopt(listener, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
    }
}

// Keeps the listening sockets from outliving the run: connection threads of this run
// may still hold the server object, but the port must be free (or moved) at once.
class CListenerCloser
{
public:
    explicit CListenerCloser(ZiRez::CServerSocket& server) : m_server(server) {}
    ~CListenerCloser() { m_server.BaseSocket().Close(); }
    CListenerCloser(const CListenerCloser&) = delete;
    CListenerCloser& operator=(const CListenerCloser&) = delete;

private:
    ZiRez::CServerSocket& m_server;
};

} // namespace

void RunServer(ServiceContext& context, Platform::CEvent* settingsChanged)
{
    CKeyStore store;
    uint16_t port = store.ReadPort();
    if (port == 0) {
        port = CKeyStore::kDefaultPort;
    }

    auto server =
        std::make_shared<ZiRez::CStrmSrvSocket>(ZiRez::FAMILY_UNSPEC, ZiRez::SOCKET_STREAM, ZiRez::IsIPv4Available(),
                                                ZiRez::IsIPv6Available(), port, settingsChanged, -1);
    // Reads do not watch the settings-change event (it must reach the accept wait), and
    // a silent peer is given up after a while.
    server->SetReadWait(nullptr, kConnectionTimeOutMs);
    CListenerCloser closer(*server);
    try {
        server->Open(port);
    } catch (const ZiRez::CSocketError& error) {
        LogLine("cannot listen on port " + std::to_string(port) + ": " + error.what());
        throw;
    }
    DisableNagle(*server);
    LogLine("listening on port " + std::to_string(port));
    ListenerOpened(context, port);

    while (context.state != kStateStopPending) {
        if (!WaitWhilePaused(context)) {
            break;
        }
        const int index = server->Accept();
        // A connection accepted as the pause arrived waits, unserved, for continue.
        if (!WaitWhilePaused(context)) {
            server->CloseConnection(index);
            break;
        }
        // At the cap the peer silent longest makes room, so a unit is served whatever
        // number of silent peers hold connections.
        if (server->ConnectionCount() > context.maxConnections) {
            server->DropLongestSilent();
        }
        auto handover = std::make_unique<AcceptHandover>(AcceptHandover{server, index});
        if (!StartConnectionThread(handover, context.connectionStackSize)) {
            server->CloseConnection(index);
        }
    }
}
