#pragma once

#include "service/SServiceParts.h"

// The watcher thread: checks the store (creating the settings layout when it is
// incomplete), then runs the request server, and runs it afresh after every change under
// "Config". Returns 0 after a stop, 1 after a fatal error (it then stops the service
// itself, with the exit code set unless the listener failed).
int WatchSettings(const SServiceParts& parts);
