#pragma once

#include "console/KeyServerRequest.h"

#include <cstdint>

// A check request to the key service of this computer on the port, over IPv4 loopback and,
// when nothing listens there, IPv6 loopback, in the client's default time: Done when it is
// answered with status 0, NoConnection when nothing listens on either, else Failed.
ECopyOutcome CheckLocalService(uint16_t port);
