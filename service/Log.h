#pragma once

#include <span>
#include <string_view>

// A field of a log line for the journal: NAME (capitals, digits, '_') and its value.
struct SLogField
{
    const char* name;
    std::string_view value;
};

// Queues one line for standard error (see CLogQueue): lines of concurrent threads never
// interleave, and a stalled sink never holds up the caller (journald keeps the lines
// under systemd).
void LogLine(std::string_view line);
// The same with fields that the journal keeps beside the line (printable values, as a
// request line's escaped peer and identifiers); elsewhere only the line is written.
void LogLine(std::string_view line, std::span<const SLogField> fields);
// Whether fields given to LogLine are kept: a caller may skip making them otherwise.
bool LogTakesFields();

// Waits until the queued lines are written, at most timeOutMs; true when they are.
bool DrainLog(int timeOutMs);
