#pragma once

#include <string>

namespace Platform {

// The directory that holds the settings store: CORVANE_STATE_DIR when set (tests and
// trials without root), else /var/lib/corvane-keyserver. The only environment variable
// the programs read.
std::string StateDirectory();

} // namespace Platform
