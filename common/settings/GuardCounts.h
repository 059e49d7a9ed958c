#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>

// What the key service's guards did in the last hour, in a small file beside the store
// that the service rewrites at most once a minute, for the tools to show.
struct SGuardCounts
{
    int64_t written = 0; // seconds since the epoch
    uint64_t throttled = 0;
    uint64_t mismatches = 0;
};

// The file in the directory of the store (the state directory). Replaces it (owner-only)
// in one step; false when it cannot be written.
bool WriteGuardCounts(const SGuardCounts& counts, const std::string& directory);
// nullopt when there is no such file or it cannot be read.
std::optional<SGuardCounts> ReadGuardCounts(const std::string& directory);

// The file's text, the same on every system: "written N", "throttled N", "mismatches N",
// a line each. Parsing gives nullopt unless all three are there and nothing else.
std::string GuardCountsText(const SGuardCounts& counts);
std::optional<SGuardCounts> ParseGuardCounts(std::istream& text);
