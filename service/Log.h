#pragma once

#include <string_view>

// Writes one line to standard error in a single write, so that lines of concurrent
// connection threads never interleave (journald keeps them under systemd).
void LogLine(std::string_view line);
