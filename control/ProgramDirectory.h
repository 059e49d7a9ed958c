#pragma once

#include <string>

// The directory of the running program's executable, without a trailing slash; empty
// when it cannot be read.
std::string ProgramDirectory();
