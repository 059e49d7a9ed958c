#pragma once

#include <string_view>

class CCommandLineRunner;

// The longest command line RunHidden runs is one less than this.
inline constexpr size_t kMaxCommandLine = 260;

// Runs the command line hidden: 0 when it ran and exited with code 0, else 1. A line of
// kMaxCommandLine characters or more is not run at all.
int RunHidden(std::string_view commandLine, CCommandLineRunner& runner);
