#pragma once

#include "control/ControlPaths.h"

#include <cstdint>

// What other programs ask of the service control layer; win32/ServiceQueries.cpp answers
// on Windows.

// The key service's state as "Oxlade status" shows it: 1 stopped, 2 start pending, 3
// stop pending, 4 running, 5 continue pending, 6 pause pending, 7 paused; 0 when systemd
// is not the init system, the service is not installed or its state cannot be read.
// Windows has the same numbers from its service control manager.
uint32_t QueryServiceState(const ControlPaths& paths = ControlPaths());

// For the "port changed" hooks: moves the firewall opening that "Oxlade install" made to
// the new port, and opens nothing where there is none. A failure is written to standard
// error and changes nothing else. On Windows the opening is the program's, for any port.
void FollowServicePort(uint16_t port, const ControlPaths& paths = ControlPaths());
