#pragma once

#include "service/ServiceContext.h"

#include <memory>

namespace ZiRez {
class CServerSocket;
}

// Handed from the accept loop to a new connection thread; reused for every connection,
// so the accept loop waits on the event until the thread has copied it.
struct AcceptHandover
{
    std::shared_ptr<ZiRez::CServerSocket> server;
    int index = -1;
    Platform::CEvent* event = nullptr;
};

// Listens on the configured port and hands every connection to its own thread until the
// service is stopping. Throws CSocketEvent when the settings-change event ends the accept
// wait and CSocketError when the listener cannot be opened or accept fails.
void RunServer(ServiceContext& context, Platform::CEvent* settingsChanged);
