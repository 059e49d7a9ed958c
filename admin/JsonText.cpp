#include "JsonText.h"

#include "platform/SafeText.h"

#include <cstdio>

std::string JsonString(std::string_view text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else if (c >= 0x80) {
            uint32_t codePoint = 0;
            const size_t length = DecodeUtf8(text.substr(i), codePoint);
            if (length == 0) {
                out += "\\ufffd";
                ++i;
                continue;
            }
            if (IsHiddenCharacter(codePoint)) {
                // Valid JSON either way; escaped, it cannot act on a terminal it is shown on.
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(codePoint));
                out += escaped;
            } else {
                out += text.substr(i, length);
            }
            i += length;
            continue;
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out + "\"";
}
