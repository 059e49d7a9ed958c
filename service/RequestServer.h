#pragma once

#include "service/ServiceContext.h"

// Listens on the configured port and serves every connection on a worker thread (see
// CConnectionWorkers) until the service is stopping. Throws CSocketEvent when the
// settings-change event ends the run and CSocketError when the listener cannot be opened
// or accepting fails. The listening sockets are closed when it leaves.
void RunServer(ServiceContext& context, Platform::CEvent* settingsChanged);
