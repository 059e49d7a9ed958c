#pragma once

#include <memory>

struct SServiceParts;
namespace ZiRez {
class CServerSocket;
}

// Serves the one request of the connection in the server's slot index: receives the
// request, dispatches it, closes the connection and logs one line. Returns 0 after a
// handled request, 1 after an error (which is swallowed).
int ServeConnection(const SServiceParts& parts, const std::shared_ptr<ZiRez::CServerSocket>& server, int index);
