#pragma once

#include "service/ServiceContext.h"

#include <memory>

namespace ZiRez {
class CServerSocket;
}

// Handed from the accept loop to a new connection thread, which owns it from then on: one
// block per connection, so the accept loop never waits for a new thread to be scheduled.
struct AcceptHandover
{
    std::shared_ptr<ZiRez::CServerSocket> server;
    int index = -1;
};

// Listens on the configured port and hands every connection to its own thread until the
// service is stopping. Throws CSocketEvent when the settings-change event ends the accept
// wait and CSocketError when the listener cannot be opened or accept fails.
void RunServer(ServiceContext& context, Platform::CEvent* settingsChanged);
