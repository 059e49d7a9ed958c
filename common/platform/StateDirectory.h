#pragma once

#include <string>

namespace Platform {

// The directory that holds the settings store and the files beside it (the guard counts,
// the copies an uninstall keeps): CORVANE_STATE_DIR when set (tests and trials without
// root), else /var/lib/corvane-keyserver; on Windows, where the store is the registry, the
// machine's program data folder (C:\ProgramData)\Quillon\CorvaneKeyServer, the same for
// every account. Empty when the variable is
// set but names no absolute directory: StateDirectoryProblem says why, and a store there
// cannot be used.
std::string StateDirectory();

// Why CORVANE_STATE_DIR cannot be used (set but empty, or not an absolute path); empty
// when the state directory is usable.
std::string StateDirectoryProblem();

} // namespace Platform
