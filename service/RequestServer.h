#pragma once

#include "service/SServiceParts.h"

#include <stdexcept>

// The store cannot tell the service what to listen on.
class CStoreUnusable : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Listens on the configured port and serves every connection on a worker thread (see
// CConnectionWorkers) until the service is stopping. Throws CSocketEvent when the
// settings-change event ends the run, CSocketError when the listener cannot be opened
// or accepting fails, and CStoreUnusable when the port cannot be read (see ServicePort). The listening
// sockets are closed when it leaves.
void RunServer(const SServiceParts& parts, Platform::CEvent* settingsChanged);
