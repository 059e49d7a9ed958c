#pragma once

#include "console/KeyServerRequest.h"

#include <optional>
#include <string>
#include <string_view>

// Another key server named on the command line: HOST, HOST:PORT, [IPV6]:PORT or [IPV6]; a
// bare IPv6 address has no port. Without a port, the key service's default. nullopt when
// the host is missing or a bracket is not closed. The port text is left for the copy to
// check.
std::optional<SCopyTarget> ParseTargetAddress(std::string_view text);

// HOST:PORT, with an IPv6 address in brackets.
std::string TargetText(const SCopyTarget& target);
