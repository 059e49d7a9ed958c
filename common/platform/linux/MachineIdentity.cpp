#include "platform/MachineIdentity.h"

#include <fstream>
#include <iterator>

namespace Platform {

std::string ReadMachineIdentity()
{
    std::ifstream file("/etc/machine-id", std::ios::binary);
    if (!file) {
        return {};
    }
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const char* blanks = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

} // namespace Platform
