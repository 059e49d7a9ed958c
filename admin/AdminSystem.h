#pragma once

#include "admin/CTerminal.h"

#include <memory>
#include <string>
#include <vector>

// What corvane-admin takes from the system it runs on: linux/ and win32/ implement this,
// picked in CMakeLists.txt.
namespace AdminSystem {

// The arguments after the program's name, in UTF-8.
std::vector<std::string> Arguments(int argc, char** argv);

// The administrator's terminal: the one of standard input and standard error.
std::unique_ptr<CTerminal> NewTerminal();

// Where the key store is, as the administrator is told: the SQLite file in the state
// directory on Linux, the registry branch on Windows.
std::string StoreLocation();

// Why that location cannot be used (a wrong CORVANE_STATE_DIR); empty when it can.
std::string StoreLocationProblem();

// What status says of a key service whose state cannot be known (it is not installed).
std::string UnknownServiceText();

} // namespace AdminSystem
