#include "PortText.h"

#include <locale>
#include <sstream>
#include <string>

std::optional<uint16_t> ParsePortSetting(std::string_view text)
{
    // Read as an unsigned 16-bit number and written back: only a text that comes back
    // unchanged is a port, so signs, spaces, leading zeros, trailing characters and
    // numbers out of range all fail.
    std::istringstream in{std::string(text)};
    in.imbue(std::locale::classic());
    unsigned short port = 0;
    in >> port;
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << port;
    if (port == 0 || out.str() != text) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(port);
}

std::optional<uint16_t> ParseTargetPort(std::string_view text)
{
    if (text.empty()) {
        return std::nullopt;
    }
    uint32_t port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + static_cast<uint32_t>(c - '0');
        if (port > UINT16_MAX) {
            return std::nullopt;
        }
    }
    return static_cast<uint16_t>(port);
}
