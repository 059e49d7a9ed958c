#pragma once

#include "control/ControlPaths.h"

#include <cstdint>

class CServiceManager;

// What other programs ask of the service control layer, answered by the platform's own
// parts (linux/ and win32/ServiceQueries.cpp).

// The key service's state as "Oxlade status" shows it: 1 stopped, 2 start pending, 3
// stop pending, 4 running, 5 continue pending, 6 pause pending, 7 paused; 0 when there is
// no service manager to ask (systemd is not the init system), the service is not
// installed or its state cannot be read. Windows has the same numbers from its service
// control manager, asked with no more rights than reading the state needs.
uint32_t QueryServiceState(const ControlPaths& paths = ControlPaths());
// The same answer from the manager given.
uint32_t QueryServiceState(CServiceManager& manager);

// For the "port changed" hooks: moves the firewall opening that "Oxlade install" made to
// the new port, and opens nothing where there is none. A failure is written to standard
// error and changes nothing else. On Windows the opening is the program's, for any port.
void FollowServicePort(uint16_t port, const ControlPaths& paths = ControlPaths());
