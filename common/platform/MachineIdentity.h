#pragma once

#include <string>

namespace Platform {

// The computer's stable identity text. Linux: /etc/machine-id with surrounding whitespace
// trimmed. Windows: the string form of the computer account's security identifier
// without its first nine characters. Empty when it cannot be read.
std::string ReadMachineIdentity();

} // namespace Platform
