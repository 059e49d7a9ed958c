#pragma once

#include <string>

namespace Platform {

// The computer's stable identity text: /etc/machine-id with surrounding whitespace
// trimmed; empty when the file is missing or unreadable.
std::string ReadMachineIdentity();

} // namespace Platform
