#pragma once

#include <memory>

namespace ZiRez {
class CServerSocket;
}

// Serves the one request of the connection in the server's slot index: receives the
// request, dispatches it, closes the connection and logs one line. Returns 0 after a
// handled request, 1 after an error (which is swallowed).
int ServeConnection(const std::shared_ptr<ZiRez::CServerSocket>& server, int index);

// Connections being served now, for the state the service logs when interrogated.
int OpenConnections();
