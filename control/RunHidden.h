#pragma once

#include <string_view>

class CProcessRunner;

// The longest command line RunHidden runs is one less than this.
inline constexpr size_t kMaxCommandLine = 260;

// Runs the command line, as one word that the Windows runner passes on unchanged: 0 when it
// ran and exited with code 0, else 1. A line of kMaxCommandLine characters or more is not
// run at all.
int RunHidden(std::string_view commandLine, CProcessRunner& runner);
