#include "SafeText.h"

size_t DecodeUtf8(std::string_view bytes, uint32_t& codePoint)
{
    if (bytes.empty()) {
        return 0;
    }
    const auto lead = static_cast<unsigned char>(bytes[0]);
    size_t length = 0;
    uint32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        least = 0x80;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        least = 0x800;
        codePoint = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        least = 0x10000;
        codePoint = lead & 0x07u;
    } else {
        return 0;
    }
    if (bytes.size() < length) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[i]);
        if ((next & 0xC0u) != 0x80u) {
            return 0;
        }
        codePoint = (codePoint << 6) | (next & 0x3Fu);
    }
    if (codePoint < least || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return 0;
    }
    return length;
}

bool IsHiddenCharacter(uint32_t c)
{
    return (c >= 0x80 && c <= 0x9F) || c == 0x061C || (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x2069) || c == 0xFEFF;
}

namespace {

void AppendEscaped(std::string& text, std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += "\\x";
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
}

} // namespace

std::string SafeText(std::string_view bytes, const SSafeTextRules& rules)
{
    std::string text;
    size_t i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        size_t length = 1;
        bool keep = byte >= 0x20 && byte < 0x7F && !(rules.quoted && (byte == '"' || byte == '\\'));
        if (byte >= 0x80) {
            uint32_t codePoint = 0;
            const size_t decoded = DecodeUtf8(bytes.substr(i), codePoint);
            keep = decoded > 0 && !IsHiddenCharacter(codePoint);
            length = decoded > 0 ? decoded : 1;
        }
        if (i + length > rules.limit) {
            break;
        }
        if (keep) {
            text.append(bytes.substr(i, length));
        } else {
            AppendEscaped(text, bytes.substr(i, length));
        }
        i += length;
    }
    if (i < bytes.size()) {
        text += "...(" + std::to_string(bytes.size()) + " bytes)";
    }
    return text;
}
