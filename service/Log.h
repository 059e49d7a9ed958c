#pragma once

#include <string_view>

// Queues one line for standard error (see CLogQueue): lines of concurrent threads never
// interleave, and a stalled sink never holds up the caller (journald keeps the lines
// under systemd).
void LogLine(std::string_view line);

// Waits until the queued lines are written, at most timeOutMs; true when they are.
bool DrainLog(int timeOutMs);
