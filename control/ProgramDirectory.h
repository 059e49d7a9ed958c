#pragma once

#include <string>
#include <string_view>

// The directory of the running program's executable, without a trailing separator; empty
// when it cannot be read.
std::string ProgramDirectory();

// The executable of the program called name in the directory, as this system names it.
std::string ProgramPath(const std::string& directory, std::string_view name);
